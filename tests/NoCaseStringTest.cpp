#include "matching/NoCaseString.h"

#include <gtest/gtest.h>

#include <string>

namespace Tavrin {
namespace {

constexpr auto npos = NoCaseString::npos;

NoCaseString::size_type Find(const char* text, const char* word) {
  return NoCaseString(text).find(NoCaseString(word));
}

TEST(NoCaseString, FindIgnoresAsciiCaseInTheSearchItself) {
  // A basic_string over traits that only redefine eq would give npos here.
  EXPECT_EQ(Find("What the FUCK", "fuck"), 9u);
  EXPECT_EQ(Find("FuCk", "fuck"), 0u);
  EXPECT_EQ(Find("fuck", "FUCK"), 0u);
}

TEST(NoCaseString, ReportsTheFirstOccurrence) {
  EXPECT_EQ(Find("sexsex", "sex"), 0u);
  EXPECT_EQ(Find("xSEXsex", "sex"), 1u);
  EXPECT_EQ(Find("aaab", "aab"), 1u);  // restarts after a partial match
}

TEST(NoCaseString, LengthAndEmptyRules) {
  EXPECT_EQ(Find("<Im", "<img"), npos);
  EXPECT_EQ(Find("", "a"), npos);
  EXPECT_EQ(Find("", ""), npos);  // nothing is found in the empty string
  EXPECT_EQ(Find("abc", ""), 0u);
  EXPECT_EQ(Find("ab", "ab"), 0u);  // a word filling the whole text
  EXPECT_EQ(Find("abc", "bcd"), npos);  // never runs past the end
}

TEST(NoCaseString, MatchesBytesNotCharacters) {
  // GBK 比这 contains 日 made of the trail byte of one character and the
  // lead byte of the next.
  EXPECT_EQ(Find("\xB1\xC8\xD5\xE2", "\xC8\xD5"), 1u);
  // The ASCII letter after a GBK character folds: 呆b holds 呆B.
  EXPECT_EQ(Find("\xB4\xF4\x62", "\xB4\xF4\x42"), 0u);
  // Full-width digits are other bytes than ASCII digits.
  EXPECT_EQ(Find("\xA3\xB5\xA3\xB1\xA3\xB7\xA3\xB8\xA3\xB6", "51786"), npos);
}

TEST(NoCaseString, FoldsOnlyAsciiLetters) {
  for (int a = 1; a < 256; ++a) {
    for (int b = 1; b < 256; ++b) {
      const bool letters = (a | 0x20) == (b | 0x20) && (a | 0x20) >= 'a' &&
                           (a | 0x20) <= 'z';
      ASSERT_EQ(NoCaseTraits::eq(static_cast<char>(a), static_cast<char>(b)),
                a == b || letters)
          << a << " " << b;
    }
  }
}

TEST(NoCaseString, OwnsAZeroTerminatedCopy) {
  std::string source = "Hello\xC8\xD5";
  const NoCaseString copy(source.c_str());
  const NoCaseString second = copy;
  source[0] = 'J';
  EXPECT_EQ(copy.size(), 7u);
  EXPECT_STREQ(copy.c_str(), "Hello\xC8\xD5");
  EXPECT_STREQ(second.data(), "Hello\xC8\xD5");
  EXPECT_NE(copy.data(), second.data());
  // Construction stops at the first zero byte.
  EXPECT_EQ(NoCaseString("ab\0cd").size(), 2u);
}

}  // namespace
}  // namespace Tavrin
