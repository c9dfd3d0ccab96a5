// Unit tests of the tool's line handling (tavrin_cli): the reading and
// splitting of lines, and the check, filter and explain decisions for one
// line.
#include "LineScreening.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

namespace Tavrin {
namespace Cli {
namespace {

using namespace std::string_literals;

// ---------------------------------------------------------------- lines

TEST(SplitEnding, KeepsEachKindOfEndingApart) {
  struct Case {
    std::string line, body, ending;
  } cases[] = {
      {"abc\n", "abc", "\n"},     {"abc\r\n", "abc", "\r\n"},
      {"abc", "abc", ""},         {"\r\n", "", "\r\n"},
      {"\n", "", "\n"},           {"", "", ""},
      {"abc\r", "abc\r", ""},     // a CR not before a LF ends nothing
      {"a\rb\n", "a\rb", "\n"},   {"a\0b\r\n"s, "a\0b"s, "\r\n"},
  };
  for (const Case& c : cases) {
    const LineParts parts = SplitEnding(c.line);
    EXPECT_EQ(parts.body, c.body) << c.line;
    EXPECT_EQ(parts.ending, c.ending) << c.line;
  }
}

// Feeds `input` to a LineReader through a pipe, written by another thread
// in pieces of `chunk` bytes, and returns the lines read.
std::vector<std::string> ReadAll(const std::string& input,
                                 std::size_t chunk = 1 << 20) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    for (std::size_t at = 0; at < input.size(); at += chunk) {
      const std::size_t n = std::min(chunk, input.size() - at);
      std::size_t done = 0;
      while (done < n) {
        const ssize_t w = write(fds[1], input.data() + at + done, n - done);
        if (w <= 0) break;
        done += static_cast<std::size_t>(w);
      }
    }
    close(fds[1]);
  });
  LineReader reader(fds[0]);
  std::vector<std::string> lines;
  std::string line;
  while (reader.Next(line)) lines.push_back(line);
  EXPECT_EQ(reader.error(), 0);
  writer.join();
  close(fds[0]);
  return lines;
}

TEST(LineReader, ReturnsEveryLineWithItsEndingAndALastLineWithout) {
  EXPECT_EQ(ReadAll("one\ntwo\r\n\nlast"),
            (std::vector<std::string>{"one\n", "two\r\n", "\n", "last"}));
  EXPECT_EQ(ReadAll("one\n"), (std::vector<std::string>{"one\n"}));
  EXPECT_TRUE(ReadAll("").empty());
}

TEST(LineReader, KeepsZeroBytesAndLinesSplitAcrossReads) {
  const std::string input = "ab\0cd\nef\r\ngh\0"s;
  for (std::size_t chunk : {1u, 2u, 3u, 7u}) {
    EXPECT_EQ(ReadAll(input, chunk),
              (std::vector<std::string>{"ab\0cd\n"s, "ef\r\n", "gh\0"s}))
        << "chunk " << chunk;
  }
}

TEST(LineReader, ReadsALineOfMegabytes) {
  const std::string big(5u << 20, 'x');
  const std::vector<std::string> lines = ReadAll("a\n" + big + "\nb", 100000);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], big + "\n");
  EXPECT_EQ(lines[2], "b");
}

TEST(LineReader, ReportsAReadError) {
  // A write-only descriptor cannot be read: EBADF.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  LineReader reader(fds[1]);
  std::string line;
  EXPECT_FALSE(reader.Next(line));
  EXPECT_NE(reader.error(), 0);
  close(fds[0]);
  close(fds[1]);
}

// ---------------------------------------------------------------- encodings

TEST(ParseEncoding, AcceptsTheUsualSpellings) {
  Encoding e = Encoding::kGbk;
  EXPECT_TRUE(ParseEncoding("UTF-8", &e));
  EXPECT_EQ(e, Encoding::kUtf8);
  EXPECT_TRUE(ParseEncoding("gbk", &e));
  EXPECT_EQ(e, Encoding::kGbk);
  EXPECT_TRUE(ParseEncoding("utf8", &e));
  EXPECT_TRUE(ParseEncoding("CP936", &e));
  EXPECT_FALSE(ParseEncoding("latin1", &e));
  EXPECT_FALSE(ParseEncoding("", &e));
}

TEST(RowDisplay, ShowsTheBytesInHexAndTheTextInUtf8) {
  EXPECT_EQ(HexBytes(RowBytes(14)), "C2 E8 B5 C4");
  EXPECT_EQ(GbkToUtf8ForDisplay(RowBytes(14)), "妈的");
  EXPECT_EQ(GbkToUtf8ForDisplay(RowBytes(17)), "呆B");
  EXPECT_EQ(GbkToUtf8ForDisplay(RowBytes(49)), ".中国(.cn)");
  EXPECT_EQ(RowBytes(1), "bitch");
  EXPECT_EQ(RowBytes(54), "<fong");
  EXPECT_TRUE(RowBytes(0).empty());
  EXPECT_TRUE(RowBytes(55).empty());
  // Bytes that are not GBK are shown as they are.
  EXPECT_EQ(GbkToUtf8ForDisplay("\xFF"), "\xFF");
}

// ---------------------------------------------------------------- decisions

TEST(Check, MatchesInsideWordsAcrossCharactersAndAfterAZeroByte) {
  LineScreener screener(Encoding::kGbk);
  EXPECT_EQ(screener.Check("Good morning"), Verdict::kClean);
  EXPECT_EQ(screener.Check(""), Verdict::kClean);
  EXPECT_EQ(screener.Check("Essex"), Verdict::kBanned);
  EXPECT_EQ(screener.Check("AVENUE"), Verdict::kBanned);
  EXPECT_EQ(screener.Check("\xB1\xC8\xD5\xE2"), Verdict::kBanned);  // 比这
  // What a host's zero-terminated text would hide is screened too.
  EXPECT_EQ(screener.Check("hello\0sex"s), Verdict::kBanned);
  EXPECT_EQ(screener.Check("\0\0fuck"s), Verdict::kBanned);
  EXPECT_EQ(screener.Check("he\0llo\0"s), Verdict::kClean);
  // A zero byte splits what would otherwise be a row.
  EXPECT_EQ(screener.Check("se\0x"s), Verdict::kClean);
}

TEST(Check, ScreensUtf8AsGbk) {
  LineScreener screener(Encoding::kUtf8);
  ASSERT_TRUE(screener.ok());
  EXPECT_EQ(screener.Check("比这"), Verdict::kBanned);
  EXPECT_EQ(screener.screened(), "\xB1\xC8\xD5\xE2");
  EXPECT_EQ(screener.Check("Hello \xF0\x9F\x91\x8B"), Verdict::kClean);
  EXPECT_EQ(screener.Check("ok\xFF"), Verdict::kError);
  EXPECT_EQ(screener.error_offset(), 2u);
  // The same bytes as GBK input: two other characters, no row.
  LineScreener raw(Encoding::kGbk);
  EXPECT_EQ(raw.Check("比这"), Verdict::kClean);
}

TEST(Filter, WritesCleanLinesByteForByteAndBannedOnesAsTheMarker) {
  LineScreener screener(Encoding::kGbk);
  std::string out;
  EXPECT_EQ(screener.Filter("Good morning", out), Verdict::kClean);
  EXPECT_EQ(out, "Good morning");
  EXPECT_EQ(screener.Filter("a\0b\0\0c\xFF\x80\0"s, out), Verdict::kClean);
  EXPECT_EQ(out, "a\0b\0\0c\xFF\x80\0"s);
  EXPECT_EQ(screener.Filter("", out), Verdict::kClean);
  EXPECT_EQ(out, "");
  // Shorter than the marker: the buffer given to Filtrate must still take it.
  EXPECT_EQ(screener.Filter("av", out), Verdict::kBanned);
  EXPECT_EQ(out, "***<br>");
  EXPECT_EQ(screener.Filter("clean\0sb"s, out), Verdict::kBanned);
  EXPECT_EQ(out, "***<br>");
  EXPECT_EQ(screener.Filter("a long line that ends in Sussex", out),
            Verdict::kBanned);
  EXPECT_EQ(out, "***<br>");
}

TEST(Filter, GivesBackTheOriginalUtf8OfACleanLine) {
  LineScreener screener(Encoding::kUtf8);
  std::string out;
  const std::string line = "晚上好 \xF0\x9F\x8C\x99 \0 end"s;
  EXPECT_EQ(screener.Filter(line, out), Verdict::kClean);
  EXPECT_EQ(out, line);
  EXPECT_EQ(screener.Filter("祝你生日快乐 \xF0\x9F\x8E\x82", out),
            Verdict::kBanned);
  EXPECT_EQ(out, "***<br>");
  // Unscreenable is not let through.
  EXPECT_EQ(screener.Filter("fine\xC0\x80", out), Verdict::kError);
  EXPECT_EQ(out, "***<br>");
}

TEST(Explain, ListsEveryRowWithItsFirstOffset) {
  LineScreener screener(Encoding::kGbk);
  std::vector<RowHit> hits;
  EXPECT_EQ(screener.Explain("What the FUCK you said, sex and SEX", hits),
            Verdict::kBanned);
  ASSERT_EQ(hits.size(), 4u);
  EXPECT_EQ(hits[0].row, 4u);  // sex, first at 24 (not at 32)
  EXPECT_EQ(hits[0].offset, 24u);
  EXPECT_EQ(hits[1].row, 11u);  // the duplicate row, same place
  EXPECT_EQ(hits[1].offset, 24u);
  EXPECT_EQ(hits[2].row, 26u);  // fuck
  EXPECT_EQ(hits[2].offset, 9u);
  EXPECT_EQ(hits[3].row, 27u);  // fuck you
  EXPECT_EQ(hits[3].offset, 9u);

  EXPECT_EQ(screener.Explain("clean", hits), Verdict::kClean);
  EXPECT_TRUE(hits.empty());
}

TEST(Explain, CountsOffsetsAcrossZeroBytesAndInTheGbkScreened) {
  LineScreener raw(Encoding::kGbk);
  std::vector<RowHit> hits;
  EXPECT_EQ(raw.Explain("sb\0xx\0db sb"s, hits), Verdict::kBanned);
  ASSERT_EQ(hits.size(), 2u);
  EXPECT_EQ(hits[0].row, 6u);  // db, in the third piece
  EXPECT_EQ(hits[0].offset, 6u);
  EXPECT_EQ(hits[1].row, 12u);  // sb, first in the first piece
  EXPECT_EQ(hits[1].offset, 0u);

  LineScreener utf8(Encoding::kUtf8);
  // "\xF0\x9F\x98\x80" is four bytes of UTF-8 and one '?' in GBK; 比 is two.
  EXPECT_EQ(utf8.Explain("\xF0\x9F\x98\x80这个比这", hits), Verdict::kBanned);
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_EQ(hits[0].row, 18u);
  EXPECT_EQ(hits[0].offset, 6u);

  EXPECT_EQ(utf8.Explain("\xFF sex", hits), Verdict::kError);
  EXPECT_TRUE(hits.empty());
}

TEST(Format, VerdictAndHitLinesAreStableAndGreppable) {
  EXPECT_EQ(FormatVerdict("chat.txt", 3, Verdict::kBanned),
            "chat.txt:3: banned");
  EXPECT_EQ(FormatVerdict("<stdin>", 12, Verdict::kClean), "<stdin>:12: clean");
  EXPECT_EQ(FormatVerdict("x", 1, Verdict::kError), "x:1: error");
  EXPECT_EQ(FormatHit("chat.txt", 3, RowHit{23, 6}),
            "chat.txt:3: row 23 at byte 6: BB EC B5 B0 \"混蛋\"");
}

}  // namespace
}  // namespace Cli
}  // namespace Tavrin
