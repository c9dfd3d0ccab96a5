// The C interface (tavrin_c.h) against the literal walk over the word list,
// on generated texts with zero bytes in them; and its UTF-8 input, which the
// tool converts the same way.
#include <gtest/gtest.h>

#include <cctype>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "TavrinVersion.h"
#include "api/ToGbk.h"
#include "matching/BannedWordTable.h"
#include "matching/LibrarySetup.h"
#include "matching/LiteralWalk.h"
#include "matching/WordList.h"
#include "tavrin_c.h"

namespace Tavrin {
namespace {

using namespace std::string_literals;

// What the literal walk says of a text that may hold zero bytes: it is
// screened as the zero-terminated pieces between them, as a host would
// screen each piece, and every row is reported at its first offset.
struct LiteralAnswer {
  bool banned = false;
  std::vector<std::pair<unsigned, std::size_t>> rows;
};

LiteralAnswer LiteralWalk(const std::string& text) {
  std::vector<std::pair<std::size_t, NoCaseString>> pieces;
  for (std::size_t start = 0;;) {
    pieces.emplace_back(start, NoCaseString(text.c_str() + start));
    const std::size_t zero = text.find('\0', start);
    if (zero == std::string::npos) break;
    start = zero + 1;
  }
  LiteralAnswer answer;
  for (const auto& piece : pieces) {
    answer.banned = answer.banned || ContainsBannedWord(piece.second);
  }
  for (std::size_t r = 0; r < WordList.size(); ++r) {
    for (const auto& piece : pieces) {
      const std::size_t at = piece.second.find(WordList[r]);
      if (at != NoCaseString::npos) {
        answer.rows.emplace_back(static_cast<unsigned>(r + 1),
                                 piece.first + at);
        break;
      }
    }
  }
  return answer;
}

// Texts of 0 to 60 bytes built from rows (some with their case flipped,
// cut short or split by a zero byte), zero bytes, GBK-range bytes and any
// bytes at all; and some long ones.
std::vector<std::string> GeneratedTexts(std::size_t count) {
  std::mt19937 random(20261208);
  const auto below = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  std::vector<std::string> texts;
  for (std::size_t t = 0; t < count; ++t) {
    std::string text;
    const std::size_t target = below(61);
    while (text.size() < target) {
      switch (below(12)) {
        case 0: {
          std::string row = BannedWordTable[below(kBannedWordCount)];
          for (char& c : row) {
            if (std::isalpha(static_cast<unsigned char>(c)) && below(2) != 0)
              c = static_cast<char>(c ^ 0x20);
          }
          if (below(2) == 0) row.insert(below(row.size() + 1), 1, '\0');
          if (below(3) == 0) row.pop_back();
          text += row;
          break;
        }
        case 1:
        case 2:
          text += '\0';
          break;
        case 3:
        case 4:
          text += static_cast<char>(0x81 + below(0x7E));
          break;
        default:
          text += static_cast<char>(below(256));
      }
    }
    texts.push_back(text);
  }
  // Long texts with rows at and across multiples of 4 KiB, where a search
  // that works in spans would cut them.
  for (std::size_t t = 0; t < 40; ++t) {
    std::string text(40000, 'q');
    for (std::size_t i = 0; i < text.size(); i += 3 + below(5)) text[i] = '\0';
    for (int n = 0; n < 3; ++n) {
      const std::string row = BannedWordTable[below(kBannedWordCount)];
      text.replace((1 + below(9)) * 4096 - below(11), row.size(), row);
    }
    texts.push_back(text);
  }
  return texts;
}

TEST(CInterface, AgreesWithTheLiteralWalkOnTextsWithZeroBytes) {
  EnsureWordList();
  const std::vector<std::string> texts = GeneratedTexts(3000);
  std::vector<const char*> pointers;
  std::vector<std::size_t> lengths;
  std::size_t banned_count = 0;
  for (const std::string& text : texts) {
    const LiteralAnswer expected = LiteralWalk(text);
    banned_count += expected.banned;
    EXPECT_EQ(tavrin_is_valid(text.data(), text.size()),
              expected.banned ? 0 : 1)
        << ::testing::PrintToString(text);

    tavrin_match matches[kBannedWordCount + 1];
    const std::size_t count =
        tavrin_find(text.data(), text.size(), matches, kBannedWordCount);
    ASSERT_EQ(count, expected.rows.size()) << ::testing::PrintToString(text);
    for (std::size_t i = 0; i < count; ++i) {
      EXPECT_EQ(matches[i].row, expected.rows[i].first);
      EXPECT_EQ(matches[i].offset, expected.rows[i].second);
    }
    // A short array takes the first rows; the count is still all of them.
    matches[1].row = 999;
    EXPECT_EQ(tavrin_find(text.data(), text.size(), matches, 1), count);
    EXPECT_EQ(matches[1].row, 999u);
    if (count > 0) EXPECT_EQ(matches[0].row, expected.rows[0].first);

    pointers.push_back(text.data());
    lengths.push_back(text.size());
  }
  // The generator must give both answers plenty of times.
  EXPECT_GT(banned_count, texts.size() / 4);
  EXPECT_LT(banned_count, texts.size() * 3 / 4);

  // The batch call answers as the single one, a null empty text included.
  pointers.push_back(nullptr);
  lengths.push_back(0);
  std::vector<unsigned char> results(pointers.size(), 7);
  tavrin_is_valid_many(pointers.data(), lengths.data(), pointers.size(),
                       results.data());
  for (std::size_t i = 0; i < pointers.size(); ++i) {
    EXPECT_EQ(results[i], tavrin_is_valid(pointers[i], lengths[i])) << i;
  }
}

TEST(CInterface, Utf8IsScreenedAsItsGbkFormAndIllFormedUtf8IsRefused) {
  EXPECT_EQ(tavrin_is_valid_utf8("Hello \xF0\x9F\x91\x8B", 10), 1);
  const std::string across = "比这";  // 日 (C8 D5) across two characters
  EXPECT_EQ(tavrin_is_valid_utf8(across.data(), across.size()), 0);
  EXPECT_EQ(tavrin_is_valid(across.data(), across.size()), 1);  // as GBK
  // The emoji is one '?' in the GBK form, 比 two bytes: 日 is at byte 6.
  const std::string line = "\xF0\x9F\x98\x80这个比这\0sex"s;
  tavrin_match matches[4];
  ASSERT_EQ(tavrin_find_utf8(line.data(), line.size(), matches, 4), 3u);
  EXPECT_EQ(matches[0].row, 4u);
  EXPECT_EQ(matches[0].offset, 10u);
  EXPECT_EQ(matches[1].row, 11u);
  EXPECT_EQ(matches[2].row, 18u);
  EXPECT_EQ(matches[2].offset, 6u);

  // Ill-formed UTF-8 is refused, and the offset the tool reports is that
  // of the first ill-formed byte.
  struct Case {
    std::string text;
    std::size_t offset;
  } cases[] = {
      {"ab\xFF", 2},            // never in UTF-8
      {"a\x80", 1},             // a lone continuation byte
      {"\xC0\x80", 0},          // overlong NUL
      {"\xE0\x80\x80", 0},      // overlong three-byte form
      {"\xF0\x80\x80\x80", 0},  // overlong four-byte form
      {"x\xED\xA0\x80", 1},     // a UTF-16 surrogate
      {"\xF4\x90\x80\x80", 0},  // above U+10FFFF
      {"\xF5\x80\x80\x80", 0},
      {"sex \xE4\xB8", 4},  // cut short at the end
      {"\xE4\xB8x", 0},    // cut short by an ASCII byte
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FindInvalidUtf8(c.text), c.offset) << ::testing::PrintToString(c.text);
    EXPECT_EQ(tavrin_is_valid_utf8(c.text.data(), c.text.size()), -1);
    EXPECT_EQ(tavrin_find_utf8(c.text.data(), c.text.size(), matches, 4),
              TAVRIN_FIND_FAILED);
  }
  // The highest code point, and a zero byte, are well-formed.
  EXPECT_EQ(tavrin_is_valid_utf8("\xF4\x8F\xBF\xBF\0!", 6), 1);
}

// The lines of a buffer as tavrin_screen_lines splits it.
std::vector<std::string> SplitLines(const std::string& buffer) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < buffer.size();) {
    std::size_t end = buffer.find('\n', at);
    if (end == std::string::npos) end = buffer.size();
    lines.push_back(buffer.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// Buffers of lines: rows in any case, GBK and UTF-8 characters, carriage
// returns, zero bytes, bytes that are not UTF-8, empty lines, lines longer
// than the pieces a UTF-8 line is screened in, with or without a last
// newline.
std::vector<std::string> GeneratedBuffers() {
  std::mt19937 random(20261209);
  const auto below = [&](std::size_t n) {
    return std::uniform_int_distribution<std::size_t>(0, n - 1)(random);
  };
  static const std::string kPieces[] = {
      "\r", "\0"s, "\xFF", "\x80", "\xE4\xB8", "\xF0\x9F\x98\x80", "比这", "日本",
      "ok ", "\xC8\xD5", "\xB1\xC8", "Essex", "\n", "\n\n", "\xED\xA0\x80"};
  std::vector<std::string> buffers;
  for (int b = 0; b < 300; ++b) {
    std::string buffer;
    const std::size_t target = below(4) == 0 ? 4000 + below(4000) : below(300);
    while (buffer.size() < target) {
      if (below(3) == 0) {
        std::string row = BannedWordTable[below(kBannedWordCount)];
        for (char& c : row)
          if (std::isalpha(static_cast<unsigned char>(c)) && below(2)) c ^= 0x20;
        buffer += row;
      } else if (below(2) == 0) {
        buffer += kPieces[below(std::size(kPieces))];
      } else {
        buffer += std::string(below(40), static_cast<char>('a' + below(26)));
      }
    }
    if (below(2) == 0) buffer += '\n';
    buffers.push_back(buffer);
  }
  // Past the bytes one scan takes (64 KiB), and a line across that mark.
  std::string large;
  for (const std::string& buffer : buffers) large += buffer + "\n";
  buffers.push_back(large + large.substr(0, 70000));
  buffers.push_back(std::string(70000, 'z') + "\xC8\xD5" + std::string(70000, 'z'));
  // Lines of one character GBK lacks ('?'): their GBK forms fill any
  // buffer to the last byte.
  std::string emoji;
  for (int i = 0; i < 5000; ++i) emoji += "\xF0\x9F\x98\x80\n";
  buffers.push_back(emoji);
  buffers.push_back("");
  buffers.push_back("\n");
  buffers.push_back(std::string(3000, 'x') + "sex\n" + std::string(5000, 'y'));
  return buffers;
}

TEST(CInterface, BulkCallsAnswerAsTheSingleCallsLineByLine) {
  for (const std::string& buffer : GeneratedBuffers()) {
    const std::vector<std::string> lines = SplitLines(buffer);
    std::vector<unsigned char> gbk, utf8;
    for (const std::string& line : lines) {
      gbk.push_back(tavrin_is_valid(line.data(), line.size()) == 1 ? TAVRIN_CLEAN
                                                                 : TAVRIN_BANNED);
      const int answer = tavrin_is_valid_utf8(line.data(), line.size());
      utf8.push_back(answer == 1 ? TAVRIN_CLEAN
                                 : answer == 0 ? TAVRIN_BANNED : TAVRIN_INVALID);
    }
    using Call = size_t (*)(const char*, size_t, unsigned char*, size_t, size_t*);
    const std::pair<Call, const std::vector<unsigned char>*> calls[] = {
        {tavrin_screen_lines, &gbk}, {tavrin_screen_lines_utf8, &utf8}};
    for (const auto& [call, expected] : calls) {
      for (const std::size_t capacity : {std::size_t{1}, std::size_t{3}, std::size_t{100000}}) {
        std::vector<unsigned char> verdicts;
        std::size_t at = 0;
        for (;;) {
          unsigned char out[100000];
          std::size_t consumed = 12345;
          const std::size_t n = call(buffer.data() + at, buffer.size() - at, out,
                                     capacity, &consumed);
          ASSERT_LE(n, capacity);
          verdicts.insert(verdicts.end(), out, out + n);
          at += consumed;
          if (n < capacity) break;
        }
        EXPECT_EQ(at, buffer.size());
        EXPECT_EQ(verdicts, *expected) << ::testing::PrintToString(buffer);
      }
    }
  }
  // Capacity 0, and nothing to screen.
  std::size_t consumed = 99;
  EXPECT_EQ(tavrin_screen_lines("a\nb", 3, nullptr, 0, &consumed), 0u);
  EXPECT_EQ(consumed, 0u);
  EXPECT_EQ(tavrin_screen_lines_utf8(nullptr, 0, nullptr, 5, nullptr), 0u);
  unsigned char verdict = 7;
  EXPECT_EQ(tavrin_screen_lines(nullptr, 4, &verdict, 1, &consumed), 0u);
  EXPECT_EQ(verdict, 7);
}

TEST(CInterface, NullTextsRowsAndVersion) {
  EXPECT_EQ(tavrin_is_valid(nullptr, 0), 1);
  EXPECT_EQ(tavrin_is_valid_utf8(nullptr, 0), 1);
  EXPECT_EQ(tavrin_find(nullptr, 0, nullptr, 0), 0u);
  // A null text with a length cannot be screened: never clean.
  EXPECT_EQ(tavrin_is_valid(nullptr, 5), 0);
  EXPECT_EQ(tavrin_is_valid_utf8(nullptr, 5), 0);
  EXPECT_EQ(tavrin_find(nullptr, 5, nullptr, 0), TAVRIN_FIND_FAILED);
  EXPECT_EQ(tavrin_find_utf8(nullptr, 5, nullptr, 0), TAVRIN_FIND_FAILED);
  const char* clean = "fine";
  const std::size_t length = 4;
  unsigned char results[2] = {7, 7};
  tavrin_is_valid_many(nullptr, &length, 2, results);
  EXPECT_EQ(results[0] + results[1], 0);
  tavrin_is_valid_many(&clean, &length, 1, results);
  EXPECT_EQ(results[0], 1);

  std::size_t row_length = 99;
  EXPECT_STREQ(tavrin_row(14, &row_length), "\xC2\xE8\xB5\xC4");  // 妈的
  EXPECT_EQ(row_length, 4u);
  EXPECT_STREQ(tavrin_row(54, nullptr), "<fong");
  EXPECT_EQ(tavrin_row(0, &row_length), nullptr);
  EXPECT_EQ(row_length, 0u);
  EXPECT_EQ(tavrin_row(55, nullptr), nullptr);
  EXPECT_STREQ(tavrin_version(), TAVRIN_VERSION);
}

// The hostile and the ordinary starts of an input: a byte-order mark is
// obeyed only before UTF-16 text and only when no encoding was named.
TEST(CInterface, InputFormObeysAByteOrderMarkOnlyBeforeUtf16Text) {
  const std::string le_text = "h\0i\0\r\0\n\0"s;                      // "hi\r\n"
  const std::string be_text = "\0h\0i\0\r\0\n"s;
  const std::string le_chinese = "\x60\x4F\x7D\x59\x0C\xFF\xCD\x64\r\0\n\0"s;  // 你好，操
  const std::string gbk_log = "\xC4\xE3\xBA\xC3\nfuck\n\xB2\xD9\nok\n";  // 你好 fuck 操 ok
  const std::string no_ascii_past_the_sample =
      "\xFF\xFE" + std::string(TAVRIN_INPUT_SAMPLE - 2, 'x') + "a\0"s;
  const unsigned named = TAVRIN_INPUT_ENCODING_NAMED, whole = TAVRIN_INPUT_WHOLE;
  const struct {
    std::string head;
    unsigned flags;
    int form;
  } cases[] = {
      {"", whole, TAVRIN_INPUT_BYTES},
      {gbk_log, whole, TAVRIN_INPUT_BYTES},
      {"sex\0\n"s, whole, TAVRIN_INPUT_BYTES},          // too few pairs
      {"foo\0bar\0\n"s, whole, TAVRIN_INPUT_BYTES},    // zero bytes here and there
      {"s\0e\0x\0"s, whole, TAVRIN_INPUT_UTF16LE_UNMARKED},  // every pair
      {"\0s\0e\0x"s, named, TAVRIN_INPUT_UTF16BE_UNMARKED},
      {le_text + le_text + le_text + le_text, 0, TAVRIN_INPUT_UTF16LE_UNMARKED},
      {"\xFF\xFE" + le_text, whole, TAVRIN_INPUT_UTF16LE},
      {"\xFF\xFE" + le_chinese, 0, TAVRIN_INPUT_UTF16LE},
      {"\xFE\xFF" + be_text, whole, TAVRIN_INPUT_UTF16BE},
      {"\xFF\xFE" + le_text, named, TAVRIN_INPUT_MARK_CONTRADICTED},
      {"\xFE\xFF" + be_text, named | whole, TAVRIN_INPUT_MARK_CONTRADICTED},
      {"\xFF\xFE", whole, TAVRIN_INPUT_UTF16LE},  // an empty UTF-16 file
      {"\xFF\xFE", 0, TAVRIN_INPUT_FALSE_MARK},   // a pipe's first two bytes
      // Bytes behind a mark, whatever is named.
      {"\xFF\xFE" "fuck you, visit evil.com\nsex sex\n\n", whole, TAVRIN_INPUT_FALSE_MARK},
      {"\xFF\xFE" + gbk_log, named, TAVRIN_INPUT_FALSE_MARK},
      {"\xFE\xFF" + gbk_log, 0, TAVRIN_INPUT_FALSE_MARK},
      {"\xFF\xFE\xE6\x93\x8D\xE4\xBD\xA0\n", whole, TAVRIN_INPUT_FALSE_MARK},  // UTF-8 操你
      {"\xFF\xFE" + be_text, whole, TAVRIN_INPUT_FALSE_MARK},  // the other byte order
      {no_ascii_past_the_sample, 0, TAVRIN_INPUT_FALSE_MARK},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(tavrin_input_form(c.head.data(), c.head.size(), c.flags), c.form)
        << testing::PrintToString(c.head) << " flags " << c.flags;
  }
  EXPECT_EQ(tavrin_input_form(nullptr, 5, whole), TAVRIN_INPUT_BYTES);

  // Later windows: a code unit from U+0001 to U+00FF, in the order given.
  EXPECT_EQ(tavrin_utf16_is_text("\x60\x4F" "a\0", 4, 0), 1);
  EXPECT_EQ(tavrin_utf16_is_text("\x60\x4F" "a\0", 4, 1), 0);
  EXPECT_EQ(tavrin_utf16_is_text("\x4F\x60\0a", 4, 1), 1);
  EXPECT_EQ(tavrin_utf16_is_text("\0\0\0\0", 4, 0), 0);  // U+0000 is no text
  EXPECT_EQ(tavrin_utf16_is_text("xya", 3, 0), 0);         // a last odd byte
  EXPECT_EQ(tavrin_utf16_is_text(gbk_log.data(), gbk_log.size(), 0), 0);
  EXPECT_EQ(tavrin_utf16_is_text(nullptr, 4, 0), 0);
}

}  // namespace
}  // namespace Tavrin
