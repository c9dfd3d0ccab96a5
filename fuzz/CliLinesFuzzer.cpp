// The command-line tool's line handling, from raw input to verdicts. The
// input (after its first two bytes) is what the tool reads; it is written to
// a socket in records of a size the second byte picks (each read takes what
// has arrived), and is read in chunks of a size
// the first byte picks, so that lines are split across reads and chunks at
// every place, and lines longer than a chunk come in pieces (or are held
// whole, as for filter and explain). Every line must come back exactly as it
// was read, with its ending, and its verdict (from the bulk calls, or from
// the pieces) and the rows explain finds in it must agree with the literal
// walk over the word list, piece by piece between zero bytes. Under UTF-8,
// FindInvalidUtf8 must agree with the C library's own UTF-8 decoder.
//
// Byte 0: bits 0-1 the encoding (0 GBK, 1 and 3 UTF-8, 2 GB18030); bit 2
//         set holds long lines whole; bits 3-7 the chunk size, 8 to 256.
// Byte 1: the size of each read's record, 1 to 256 bytes.
#include <iconv.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Report.h"
#include "Screening.h"
#include "matching/NoCaseString.h"
#include "matching/LibrarySetup.h"
#include "matching/LiteralWalk.h"
#include "matching/WordList.h"

namespace {

using Tavrin::Cli::Encoding;

[[noreturn]] void Fail(const char* what, std::string_view line) {
  std::fprintf(stderr, "%s\nline (%zu bytes):", what, line.size());
  for (const char c : line)
    std::fprintf(stderr, " %02X", static_cast<unsigned char>(c));
  std::fprintf(stderr, "\n");
  std::abort();
}

// The offset of the first byte the C library's UTF-8 decoder refuses, or
// npos.
std::size_t FirstByteIconvRefuses(std::string_view text) {
  static const iconv_t cd = iconv_open("UTF-32LE", "UTF-8");
  if (cd == reinterpret_cast<iconv_t>(-1)) std::abort();
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  char* in = const_cast<char*>(text.data());
  std::size_t in_left = text.size();
  std::vector<char> out(text.size() * 4 + 4);
  char* out_at = out.data();
  std::size_t out_left = out.size();
  if (iconv(cd, &in, &in_left, &out_at, &out_left) !=
      static_cast<std::size_t>(-1))
    return std::string_view::npos;
  return text.size() - in_left;
}

bool MatchesAt(std::string_view bytes, std::size_t at, std::string_view row) {
  if (bytes.size() - at < row.size()) return false;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (!Tavrin::EqualIgnoringAsciiCase(bytes[at + i], row[i])) return false;
  }
  return true;
}

// The first offset of `row` in `bytes`, or npos. No row holds a zero byte,
// so no match crosses one.
std::size_t FirstOccurrence(std::string_view bytes, std::string_view row) {
  for (std::size_t at = 0; at < bytes.size(); ++at) {
    if (MatchesAt(bytes, at, row)) return at;
  }
  return std::string_view::npos;
}

// The literal walk over each piece of `bytes` between zero bytes.
bool AnyPieceBanned(const std::string& bytes) {
  std::size_t start = 0;
  for (;;) {
    if (Tavrin::ContainsBannedWord(Tavrin::NoCaseString(bytes.c_str() + start)))
      return true;
    const std::size_t zero = bytes.find('\0', start);
    if (zero == std::string::npos) return false;
    start = zero + 1;
  }
}

// What the tool must answer for one line (without its newline): the
// verdict, and for TAVRIN_INVALID the offset of the first ill-formed byte.
// Explain's rows are checked on the way.
struct Expected {
  unsigned char verdict;
  std::size_t error_offset;
};

Expected CheckLine(Encoding encoding, std::string_view line) {
  std::string screened(line);
  std::size_t bad = std::string_view::npos;
  if (encoding == Encoding::kUtf8) {
    bad = Tavrin::FindInvalidUtf8(line);
    if (bad != FirstByteIconvRefuses(line))
      Fail("FindInvalidUtf8 disagrees with iconv", line);
  }
  if (encoding != Encoding::kGbk &&
      !Tavrin::ConvertToGbk(encoding == Encoding::kUtf8
                                ? Tavrin::InputEncoding::kUtf8
                                : Tavrin::InputEncoding::kGb18030,
                            line, screened, &bad) &&
      bad == std::string_view::npos) {
    Fail("ConvertToGbk refuses well-formed UTF-8", line);
  }

  std::string scratch;
  std::vector<tavrin_match> rows;
  std::size_t rows_bad = 0;
  const unsigned char explained =
      Tavrin::Cli::FindRows(encoding, line, scratch, rows, &rows_bad);
  if (bad != std::string_view::npos) {
    if (explained != TAVRIN_INVALID || rows_bad != bad || !rows.empty())
      Fail("explain does not refuse an ill-formed line", line);
    return {TAVRIN_INVALID, bad};
  }
  const bool banned = AnyPieceBanned(screened);
  if (explained != (banned ? TAVRIN_BANNED : TAVRIN_CLEAN))
    Fail("explain's verdict disagrees with the word list", line);
  // Explain lists exactly the rows that occur, in table order, each at its
  // first occurrence.
  std::size_t next = 0;
  for (std::size_t row = 1; row <= Tavrin::kBannedWordCount; ++row) {
    const std::size_t at = FirstOccurrence(screened, Tavrin::Cli::RowBytes(row));
    if (at == std::string_view::npos) continue;
    if (next == rows.size() || rows[next].row != row || rows[next].offset != at)
      Fail("explain lists the wrong rows or offsets", line);
    ++next;
  }
  if (next != rows.size()) Fail("explain lists a row that is absent", line);
  return {static_cast<unsigned char>(banned ? TAVRIN_BANNED : TAVRIN_CLEAN), 0};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 2) return 0;
  const Encoding encoding = (data[0] & 3) == 2   ? Encoding::kGb18030
                            : (data[0] & 3) != 0 ? Encoding::kUtf8
                                                 : Encoding::kGbk;
  const bool hold_lines = (data[0] & 4) != 0;
  const std::size_t chunk_size = 8 * (std::size_t{data[0]} / 8 + 1);
  const std::size_t record = std::size_t{data[1]} + 1;
  const std::string_view input(reinterpret_cast<const char*>(data) + 2,
                               size - 2);
  Tavrin::EnsureWordList();
  if (!Tavrin::Cli::CanScreen(encoding)) std::abort();

  // The lines as the input holds them.
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < input.size();) {
    const std::size_t newline = input.find('\n', at);
    const std::size_t end =
        newline == std::string_view::npos ? input.size() : newline + 1;
    lines.push_back(input.substr(at, end - at));
    at = end;
  }

  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) std::abort();
  std::thread writer([&] {
    for (std::size_t at = 0; at < input.size(); at += record) {
      const std::size_t n = std::min(record, input.size() - at);
      if (write(fds[1], input.data() + at, n) != static_cast<ssize_t>(n))
        std::abort();
    }
    close(fds[1]);
  });

  Tavrin::Cli::ChunkReader reader(fds[0], chunk_size, hold_lines);
  // UTF-16 is only read through, for the sanitizers; bytes behind a false
  // mark are screened as they are.
  const int form = reader.Sniff(false);
  const bool as_is = form == TAVRIN_INPUT_BYTES || form == TAVRIN_INPUT_FALSE_MARK;
  Tavrin::Cli::ChunkBuffer buffer;
  Tavrin::Cli::LongLineScreener long_line(encoding);
  Tavrin::Cli::ChunkScreener screener;
  Tavrin::Cli::ChunkLines chunk;
  Tavrin::Cli::ChunkBuffer verdicts;
  std::size_t next = 0;  // the next line of `lines` to come
  const auto expect = [&](unsigned char verdict, std::size_t error_offset,
                          std::string_view line) {
    if (next == lines.size()) Fail("more lines than the input holds", line);
    std::string_view body = lines[next++];
    if (!body.empty() && body.back() == '\n') body.remove_suffix(1);
    const Expected expected = CheckLine(encoding, body);
    if (verdict != expected.verdict ||
        (verdict == TAVRIN_INVALID && error_offset != expected.error_offset))
      Fail("the verdict disagrees with the word list", body);
  };
  while (Tavrin::Cli::NextLines(reader, buffer, long_line, &chunk)) {
    if (!as_is) continue;
    if (chunk.has_long_line) {
      if (hold_lines) Fail("a held line came in pieces", lines[next]);
      expect(chunk.long_line_verdict, chunk.long_line_error_offset, {});
    }
    const std::size_t count =
        screener.Screen(encoding, chunk.lines, chunk.size, verdicts);
    Tavrin::Cli::LineWalk walk(chunk.lines, chunk.size);
    const auto* verdict = reinterpret_cast<const unsigned char*>(verdicts.data());
    for (std::size_t i = 0; i < count; ++i) {
      std::string_view line, ending;
      walk.Next(&line, &ending);
      const std::string_view whole = next < lines.size() ? lines[next] : "";
      const std::string_view expected_ending =
          whole.size() >= 2 && whole.substr(whole.size() - 2) == "\r\n" ? "\r\n"
          : !whole.empty() && whole.back() == '\n'                       ? "\n"
                                                                          : "";
      if (std::string(line) + std::string(ending) != whole ||
          ending != expected_ending)
        Fail("a line is not cut at its newline, or its ending is wrong", line);
      std::size_t error_offset = 0;
      if (verdict[i] == TAVRIN_INVALID) {
        std::string scratch;
        std::vector<tavrin_match> rows;
        Tavrin::Cli::FindRows(encoding, line, scratch, rows, &error_offset);
      }
      expect(verdict[i], error_offset, line);
    }
  }
  writer.join();
  close(fds[0]);
  if (reader.error() != 0) std::abort();
  if (as_is && next != lines.size()) Fail("lines were lost", input);
  return 0;
}
