// The block conversions of UTF-8 to GBK (matching/kernels/Utf8Kernels.h), on
// every kernel this processor runs that has one (which those are is checked
// in scanner/ScannerTest.cpp), against the conversion character by
// character: the same bytes read and written, the same verdict of
// ill-formed input at the same byte, on random and real text, every
// ill-formed form at every offset around the blocks' edges, output buffers
// of every room that end before an inaccessible page, and texts that end on
// a page's last byte before one or start on its first after one. And the
// bulk call on converted text, UTF-8 and GB18030, against each line alone.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "api/ScreenLines.h"
#include "api/ToGbk.h"
#include "matching/LibrarySetup.h"
#include "matching/Scanner.h"
#include "tavrin_c.h"

namespace Tavrin {
namespace {

using namespace std::string_literals;

// The kernels that bring their own conversion and run here.
std::vector<ScanKernel> ConvertingKernels() {
  EnsureWordList();
  std::vector<ScanKernel> kernels;
  for (const ScanKernel kernel : kAllScanKernels)
    if (ScanKernelAvailable(kernel) && Utf8KernelFor(kernel) == kernel)
      kernels.push_back(kernel);
  return kernels;
}

// Bytes ending just before an inaccessible page, so that a write past a
// buffer placed at their end faults.
char* GuardedEnd() {
  static char* const end = [] {
    const long page = sysconf(_SC_PAGESIZE);
    constexpr long kPages = 4;
    char* const mapping = static_cast<char*>(mmap(nullptr, (kPages + 1) * page,
                                                  PROT_READ | PROT_WRITE,
                                                  MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (mapping == MAP_FAILED || mprotect(mapping + kPages * page, page, PROT_NONE) != 0)
      std::abort();
    return mapping + kPages * page;
  }();
  return end;
}

// Every block conversion answers `text` (at `at`, which may be a page's
// edge) as the character-by-character one does, with `capacity` bytes of
// room, which end where an inaccessible page begins.
void ExpectSameConversion(const char* at, std::size_t length, std::size_t capacity) {
  std::vector<char> expected(capacity + 1);
  char* const actual = GuardedEnd() - capacity;
  const ToGbkStep reference =
      TranscodeUtf8ToGbkUsing(ScanKernel::kPortable, at, length, expected.data(), capacity);
  for (const ScanKernel kernel : ConvertingKernels()) {
    const ToGbkStep step = TranscodeUtf8ToGbkUsing(kernel, at, length, actual, capacity);
    const std::string context = std::string(ScanKernelName(kernel)) + " on " +
                                ::testing::PrintToString(std::string(at, length)) +
                                " room " + std::to_string(capacity);
    ASSERT_EQ(step.read, reference.read) << context;
    ASSERT_EQ(step.written, reference.written) << context;
    ASSERT_EQ(step.ill_formed, reference.ill_formed) << context;
    ASSERT_EQ(std::string(actual, step.written),
              std::string(expected.data(), reference.written))
        << context;
  }
}

void ExpectSameConversion(const std::string& text) {
  ExpectSameConversion(text.data(), text.size(), text.size());
}

// Real text: Chinese prose and chat with ASCII, full-width punctuation and
// emoji, as message catalogues and logs mix them.
const std::string kRealText =
    "床前明月光，疑是地上霜。举头望明月，低头思故乡。\n"
    "Hello everyone 👋\n晚上好，今天辛苦了 🌙\n我在 Sussex 读书。\n"
    "这个方案比这个好多了。<img src=x onerror=alert(1)>\n"
    "%s 失败：捕获的信号 %d%s\n（%d 分钟后解锁）\n...时间即将耗尽...\n"
    "鉴定令牌不再有效；需要新的鉴定令牌\n祝你生日快乐！🎂 Café, naïve, Ωμέγα, Привет.\n";

// Characters: ASCII, two-, three- and four-byte ones, and those GBK lacks
// (U+9FA6 past GBK's ideographs, U+3400 of Extension A, U+FFFF, emoji).
const std::string kCharacters[] = {
    "a", "Z ", "\n", "\0"s, "\x7F", "\xC2\x80", "é", "Ж", "\xDF\xBF", "的", "中国",
    "，", "\xE0\xA0\x80", "\xEF\xBF\xBF", "\xEE\x80\x80", "\xE9\xBE\xA6", "\xE3\x90\x80",
    "😀", "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF", "sex", "比这"};

// Every form that is not well-formed UTF-8.
const std::string kIllFormed[] = {
    "\x80", "\xBF", "\xC0\xAF", "\xC1\xBF",            // a lone continuation; overlong
    "\xE0\x80\x80", "\xE0\x9F\xBF",                    // overlong three-byte forms
    "\xF0\x80\x80\x80", "\xF0\x8F\xBF\xBF",            // overlong four-byte forms
    "\xED\xA0\x80", "\xED\xBF\xBF",                    // surrogates
    "\xF4\x90\x80\x80", "\xF5\x80\x80\x80", "\xF7\xBF\xBF\xBF",  // above U+10FFFF
    "\xF8\x88\x80\x80\x80", "\xFC\x84\x80\x80\x80\x80",          // 5- and 6-byte forms
    "\xFE", "\xFF",
    "\xC3", "\xE4\xB8", "\xF0\x9F\x98",                // cut short (at the end, too)
    "\xE4x", "\xF0\x9F\x98\x80\x80", "\xC3\xA9\xA9"};  // cut by ASCII; one too many

std::string RandomText(std::mt19937& random, std::size_t length) {
  std::string text;
  while (text.size() < length) {
    const unsigned pick = random() % 16;
    if (pick < 6) {
      text += std::string(1 + random() % 20, static_cast<char>('a' + random() % 26));
    } else if (pick < 15) {
      text += kCharacters[random() % std::size(kCharacters)];
    } else {
      text += kRealText.substr(random() % 90 * 3, 30);  // real text, cut anywhere
    }
  }
  return text;
}

TEST(Utf8Kernels, AgreeWithTheConversionCharacterByCharacter) {
  ASSERT_TRUE(PrepareToGbk(InputEncoding::kUtf8));
  std::mt19937 random(23);
  std::vector<std::string> texts = {"", kRealText, kRealText + kRealText + kRealText};
  for (int n = 0; n < 300; ++n) texts.push_back(RandomText(random, random() % 700));
  // Two-byte characters with two-byte forms fill a block's room in `out`
  // to the last byte: every room from a block's worth up.
  std::string greek;
  for (int n = 0; n < 40; ++n) greek += "αβγδεζ";
  for (const std::string& text : {greek, "x" + greek, kRealText})
    for (std::size_t room = 60; room <= 300; ++room)
      ExpectSameConversion(text.data(), text.size(), room);
  for (const std::string& text : texts) {
    ExpectSameConversion(text);
    // Less room than the text needs, down to none.
    for (const std::size_t room : {text.size() / 2, std::size_t{130}, std::size_t{1}})
      if (room < text.size()) ExpectSameConversion(text.data(), text.size(), room);
  }
}

// Each ill-formed form at every offset of a text of 200 bytes, so across
// the edges of the first three blocks, in ASCII and in Chinese; and at the
// end of texts of every length around those edges, where it is cut short.
TEST(Utf8Kernels, FindEveryIllFormedFormWhereverItLies) {
  ASSERT_TRUE(PrepareToGbk(InputEncoding::kUtf8));
  const std::string chinese = kRealText.substr(0, 72);  // 床前明月光 ...
  for (const std::string& background : {std::string(200, 'x'), chinese + chinese + chinese}) {
    for (const std::string& bad : kIllFormed) {
      for (std::size_t at = 0; at <= 200; ++at) {
        std::string text = background.substr(0, at) + bad + background.substr(at);
        ExpectSameConversion(text);
        text.resize(at + bad.size());  // ending with it
        ExpectSameConversion(text);
      }
    }
  }
}

TEST(Utf8Kernels, ReadNothingPastEitherEdgeOfTheText) {
  ASSERT_TRUE(PrepareToGbk(InputEncoding::kUtf8));
  const long page = sysconf(_SC_PAGESIZE);
  ASSERT_GT(page, 0);
  void* mapping = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  char* const usable = static_cast<char*>(mapping) + page;
  ASSERT_EQ(mprotect(mapping, page, PROT_NONE), 0);
  ASSERT_EQ(mprotect(usable + page, page, PROT_NONE), 0);
  std::mt19937 random(24);
  for (std::size_t length = 0; length <= 400; ++length) {
    const std::string text = RandomText(random, length).substr(0, length);
    for (char* const at : {usable + page - length, usable}) {
      std::copy(text.begin(), text.end(), at);
      ExpectSameConversion(at, length, length);
    }
  }
  munmap(mapping, 3 * page);
}


// Windows of lines converted, screened and marked: runs of ill-formed lines
// longer than a window marks, lines longer than a window, banned lines
// across them, an ill-formed last line with no newline; at every capacity.
TEST(ConvertedLines, EachLineGetsTheVerdictItGetsAlone) {
  struct Kind {
    InputEncoding encoding;
    std::vector<std::string> lines;
  } kinds[] = {
      {InputEncoding::kUtf8,
       {"你好 ok", "这个比这个好", "Essex", "\xFF", "a\xE4\xB8", "\xED\xA0\x80 sex", "", "😀",
        std::string(5000, 'z') + "\xC0\xAF", std::string(5000, 'z') + "sb"}},
      {InputEncoding::kGb18030,
       {"\xC4\xE3\xBA\xC3 ok", "\xB1\xC8\xD5\xE2", "Essex", "\xFF", "a\x81\x30",
        "\x81\x30\x81\x30 sex", "", "\x81", std::string(5000, 'z') + "\x80",
        std::string(5000, 'z') + "sb"}},
  };
  std::mt19937 random(25);
  for (const Kind& kind : kinds) {
    ASSERT_TRUE(PrepareToGbk(kind.encoding));
    for (int b = 0; b < 12; ++b) {
      std::string buffer;
      std::vector<unsigned char> expected;
      // Runs of one kind of line, some of them past 64 ill-formed lines.
      while (buffer.size() < 30000) {
        const std::string& line = kind.lines[random() % kind.lines.size()];
        const int run = random() % 4 == 0 ? 100 : 1 + random() % 5;
        for (int r = 0; r < run; ++r) {
          buffer += line + "\n";
          expected.push_back(ScreenConvertedText(kind.encoding, line.data(), line.size()));
        }
      }
      if (b % 2) {  // the last line without its newline (an empty one is then none)
        buffer.pop_back();
        if (buffer.empty() || buffer.back() == '\n') expected.pop_back();
      }
      for (const std::size_t capacity : {std::size_t{1}, std::size_t{7}, expected.size()}) {
        std::vector<unsigned char> verdicts(capacity), all;
        std::size_t at = 0, n;
        do {
          std::size_t consumed = 0;
          n = ScreenConvertedLines(kind.encoding, buffer.data() + at, buffer.size() - at,
                                   verdicts.data(), capacity, &consumed);
          all.insert(all.end(), verdicts.begin(), verdicts.begin() + n);
          at += consumed;
        } while (n == capacity && at < buffer.size());
        EXPECT_EQ(at, buffer.size());
        EXPECT_EQ(all, expected) << "buffer " << b << ", capacity " << capacity;
      }
    }
  }
}

}  // namespace
}  // namespace Tavrin
