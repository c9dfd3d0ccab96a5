#include "matching/LibrarySetup.h"
#include "matching/LiteralWalk.h"
#include "matching/WordList.h"

#include <gtest/gtest.h>

#include <cstring>

#include "matching/BannedWordTable.h"

namespace Tavrin {
namespace {

bool Banned(const char* text) {
  EnsureWordList();
  return ContainsBannedWord(NoCaseString(text));
}

TEST(BannedWordTable, RowsHaveTheDocumentedShape) {
  for (std::size_t i = 0; i < kBannedWordCount; ++i) {
    const std::size_t length = std::strlen(BannedWordTable[i]);
    EXPECT_GE(length, 2u) << "row " << i + 1;
    EXPECT_LE(length, kLongestBannedWord) << "row " << i + 1;
  }
  EXPECT_STREQ(BannedWordTable[3], BannedWordTable[10]);  // "sex" twice
  EXPECT_STREQ(BannedWordTable[0], "bitch");
  EXPECT_STREQ(BannedWordTable[29], "\xA3\xB5\xA3\xB1\xA3\xB7\xA3\xB8\xA3\xB6");
  EXPECT_STREQ(BannedWordTable[48], ".\xD6\xD0\xB9\xFA(.cn)");
  EXPECT_STREQ(BannedWordTable[53], "<fong");
}

TEST(WordList, HoldsEveryRowInTableOrderAndStaysSo) {
  EnsureWordList();
  EnsureWordList();
  ASSERT_EQ(WordList.size(), kBannedWordCount);
  for (std::size_t i = 0; i < kBannedWordCount; ++i) {
    EXPECT_STREQ(WordList[i].c_str(), BannedWordTable[i]) << "row " << i + 1;
  }
}

TEST(WordList, FindsRowsAnywhereIgnoringAsciiCase) {
  EXPECT_TRUE(Banned("Hello.COM"));
  EXPECT_TRUE(Banned("<IMG src=x>"));
  EXPECT_TRUE(Banned("a.Net"));
  EXPECT_TRUE(Banned("FUCK you"));
  EXPECT_TRUE(Banned("Essex"));   // no word boundaries
  EXPECT_TRUE(Banned("avenue"));
  EXPECT_TRUE(Banned("\xB1\xC8\xD5\xE2"));  // 比这: across two characters
  EXPECT_TRUE(Banned("x\xA3\xB5\xA3\xB1\xA3\xB7\xA3\xB8\xA3\xB6y"));
  EXPECT_TRUE(Banned("gcd"));  // the upper-case row folds too
}

TEST(WordList, CleanTexts) {
  EXPECT_FALSE(Banned("hello world"));
  EXPECT_FALSE(Banned(""));
  EXPECT_FALSE(Banned("sh1t"));
  EXPECT_FALSE(Banned("5178"));
  // One byte is never banned: every row has at least two.
  for (int b = 1; b < 256; ++b) {
    const char text[2] = {static_cast<char>(b), 0};
    EXPECT_FALSE(Banned(text)) << b;
  }
}

}  // namespace
}  // namespace Tavrin
