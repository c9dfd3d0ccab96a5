#include "Tavrin.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include "matching/BannedWordTable.h"
#include "matching/WordList.h"

namespace {

// An output buffer with guard bytes on both sides: the call may write only
// out[0] .. out[outSize], and only what it says it wrote.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(std::size_t capacity, char fill = 'x')
      : bytes_(capacity + 2 * kGuard, fill) {}
  char* out() { return bytes_.data() + kGuard; }
  std::string Contents(std::size_t n) const {
    return std::string(bytes_.data() + kGuard, n);
  }
  // True when every byte outside [kGuard + from, kGuard + to) still holds
  // `fill`.
  bool UntouchedOutside(std::size_t from, std::size_t to,
                        char fill = 'x') const {
    for (std::size_t i = 0; i < bytes_.size(); ++i) {
      if (i >= kGuard + from && i < kGuard + to) continue;
      if (bytes_[i] != fill) return false;
    }
    return true;
  }

 private:
  static constexpr std::size_t kGuard = 64;
  std::vector<char> bytes_;
};

const std::string kMarker("***<br>\0", 8);

TEST(IsValid, NullAndEmptyAreValidAndStillFillTheList) {
  EXPECT_TRUE(Tavrin::IsValid(nullptr));
  EXPECT_EQ(Tavrin::WordList.size(), Tavrin::kBannedWordCount);
  EXPECT_TRUE(Tavrin::IsValid(""));
}

TEST(IsValid, Verdicts) {
  EXPECT_TRUE(Tavrin::IsValid("hello world"));
  EXPECT_TRUE(Tavrin::IsValid("sh1t"));
  EXPECT_FALSE(Tavrin::IsValid("SHIT happens"));
  EXPECT_FALSE(Tavrin::IsValid("Essex"));
  EXPECT_FALSE(Tavrin::IsValid("x.Cn"));
  EXPECT_FALSE(Tavrin::IsValid("\xB1\xC8\xD5\xE2"));
  EXPECT_FALSE(Tavrin::IsValid("see <IMG src=x>"));
  // Each row is banned alone, upper-cased, and inside other text.
  for (const char* row : Tavrin::BannedWordTable) {
    std::string upper = row;
    for (char& c : upper) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    }
    EXPECT_FALSE(Tavrin::IsValid(row)) << row;
    EXPECT_FALSE(Tavrin::IsValid(("[" + upper + "]").c_str())) << row;
  }
}

TEST(IsValid, LeavesTheTextAlone) {
  const char text[] = "What the FUCK";
  char copy[sizeof text];
  std::memcpy(copy, text, sizeof text);
  EXPECT_FALSE(Tavrin::IsValid(copy));
  EXPECT_FALSE(Tavrin::IsValid(copy));
  EXPECT_EQ(std::memcmp(copy, text, sizeof text), 0);
}

TEST(IsValid, VerdictsIgnoreTheHostLocale) {
  // Bytes that a Latin-1 or Turkish locale would fold, and letters whose
  // case Turkish maps differently.
  const char* const texts[] = {"\xC9SSEX", "SCRIPT", "scr\xDDpt", "Fal\xFDn",
                               "\xC0V", "hello", "\xB4\xF4\x62", "MAKING",
                               "\xE8\xD5"};
  std::vector<bool> before;
  for (const char* text : texts) before.push_back(Tavrin::IsValid(text));

  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* const locales[] = {"tr_TR", "tr_TR.ISO-8859-9", "tr_TR.UTF-8",
                                 "de_DE.ISO-8859-1", "en_US.ISO-8859-1",
                                 "C.UTF-8", "C.utf8"};
  const char* chosen = nullptr;
  for (const char* name : locales) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      chosen = name;
      break;
    }
  }
  ASSERT_NE(chosen, nullptr) << "no locale besides C on this machine";
  for (std::size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(Tavrin::IsValid(texts[i]), before[i]) << texts[i] << " " << chosen;
  }
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(before, (std::vector<bool>{false, false, true, true, true, true,
                                       false, false, true}));
}

TEST(Filtrate, OutcomeTable) {
  {
    GuardedBuffer buf(100);
    EXPECT_FALSE(Tavrin::Filtrate(buf.out(), 100, "hello"));
    EXPECT_EQ(buf.Contents(6), std::string("hello\0", 6));
    EXPECT_TRUE(buf.UntouchedOutside(0, 6));
  }
  for (const char* banned : {"Visit a.COM now", "FUCK you", "<A href=x>"}) {
    GuardedBuffer buf(100);
    EXPECT_TRUE(Tavrin::Filtrate(buf.out(), 100, banned)) << banned;
    EXPECT_EQ(buf.Contents(8), kMarker);
    EXPECT_TRUE(buf.UntouchedOutside(0, 8));
  }
  {
    GuardedBuffer buf(1);
    EXPECT_FALSE(Tavrin::Filtrate(buf.out(), 0, ""));
    EXPECT_EQ(buf.Contents(1), std::string(1, '\0'));
    EXPECT_TRUE(buf.UntouchedOutside(0, 1));
  }
}

TEST(Filtrate, RefusesWithoutWriting) {
  GuardedBuffer buf(100);
  EXPECT_FALSE(Tavrin::Filtrate(buf.out(), 100, nullptr));
  EXPECT_FALSE(Tavrin::Filtrate(nullptr, 100, "hello"));
  EXPECT_FALSE(Tavrin::Filtrate(nullptr, 100, nullptr));
  EXPECT_FALSE(Tavrin::Filtrate(buf.out(), 4, "hello"));
  // The length test comes before the scan.
  EXPECT_FALSE(Tavrin::Filtrate(buf.out(), 3, "fuck"));
  EXPECT_FALSE(Tavrin::Filtrate(buf.out(), 0, "a"));
  EXPECT_TRUE(buf.UntouchedOutside(0, 0));
}

TEST(Filtrate, BufferSizeBoundaries) {
  {
    GuardedBuffer buf(6);
    EXPECT_FALSE(Tavrin::Filtrate(buf.out(), 5, "hello"));  // exactly fits
    EXPECT_EQ(buf.Contents(6), std::string("hello\0", 6));
    EXPECT_TRUE(buf.UntouchedOutside(0, 6));
  }
  {
    GuardedBuffer buf(8);
    EXPECT_TRUE(Tavrin::Filtrate(buf.out(), 7, "fuck"));  // marker just fits
    EXPECT_EQ(buf.Contents(8), kMarker);
    EXPECT_TRUE(buf.UntouchedOutside(0, 8));
  }
  {
    GuardedBuffer buf(100);
    EXPECT_FALSE(Tavrin::Filtrate(buf.out(), 0xFFFFFFFFu, "fine"));
    EXPECT_EQ(buf.Contents(5), std::string("fine\0", 5));
    EXPECT_TRUE(buf.UntouchedOutside(0, 5));
  }
}

TEST(Filtrate, BannedTextInABufferTooSmallForTheMarker) {
  // The marker needs outSize 7; below that only out[0] is written.
  for (unsigned int size = 2; size < 7; ++size) {
    const std::string banned = std::string(size - 2, 'z') + "av";
    GuardedBuffer buf(size + 1);
    EXPECT_TRUE(Tavrin::Filtrate(buf.out(), size, banned.c_str())) << size;
    EXPECT_EQ(buf.Contents(1), std::string(1, '\0'));
    EXPECT_TRUE(buf.UntouchedOutside(0, 1));
  }
}

TEST(Filtrate, TouchesNothingAfterTheTerminator) {
  char buf[20];
  std::memset(buf, 'x', 19);
  buf[19] = '\0';
  EXPECT_TRUE(Tavrin::Filtrate(buf, 19, "sex"));
  EXPECT_EQ(std::string(buf, 8), kMarker);
  EXPECT_EQ(std::string(buf + 8, 12), std::string("xxxxxxxxxxx\0", 12));
}

TEST(Filtrate, InPlaceAndOverlapping) {
  char buf[100] = "what the FUCK";
  EXPECT_TRUE(Tavrin::Filtrate(buf, 99, buf));
  EXPECT_STREQ(buf, "***<br>");

  std::strcpy(buf, "fine");
  EXPECT_FALSE(Tavrin::Filtrate(buf, 99, buf));
  EXPECT_STREQ(buf, "fine");

  // Output starts before the input, and after it.
  std::strcpy(buf, "0123456789 all clean");
  EXPECT_FALSE(Tavrin::Filtrate(buf, 99, buf + 3));
  EXPECT_STREQ(buf, "3456789 all clean");
  std::strcpy(buf, "0123456789 all clean");
  EXPECT_FALSE(Tavrin::Filtrate(buf + 3, 96, buf));
  EXPECT_STREQ(buf + 3, "0123456789 all clean");

  // A banned text overlapping the output: the marker wins whole.
  std::strcpy(buf, "xx<img src=a>");
  EXPECT_TRUE(Tavrin::Filtrate(buf + 2, 97, buf));
  EXPECT_STREQ(buf + 2, "***<br>");
}

TEST(Filtrate, CopiesEveryByteValue) {
  std::string text;
  for (int b = 1; b < 256; ++b) {
    // Keep clear of rows: separate every byte with a zero-free filler that
    // no row starts or ends with.
    text += static_cast<char>(b);
    text += '!';
  }
  ASSERT_TRUE(Tavrin::IsValid(text.c_str()));
  GuardedBuffer buf(text.size() + 1);
  EXPECT_FALSE(Tavrin::Filtrate(buf.out(), static_cast<unsigned>(text.size()),
                                text.c_str()));
  EXPECT_EQ(buf.Contents(text.size() + 1), text + '\0');
}

}  // namespace
