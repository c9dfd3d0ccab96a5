// The command-line tool's line handling, from raw input to verdicts. The
// input (after its first two bytes) is what the tool reads; it arrives in
// records of a size the second byte picks, so that lines are split across
// reads at every place. Each line must come back exactly as it was read, and
// the check, filter and explain decisions on it must agree with the literal
// walk over the word list, piece by piece between zero bytes. Under UTF-8,
// FindInvalidUtf8 must agree with the C library's own UTF-8 decoder.
//
// Byte 0: bit 0 set reads the input as UTF-8, else as GBK.
// Byte 1: the size of each read's record, 1 to 256 bytes.
#include <iconv.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "LineScreening.h"
#include "matching/NoCaseString.h"
#include "matching/LibrarySetup.h"
#include "matching/LiteralWalk.h"
#include "matching/WordList.h"

namespace {

[[noreturn]] void Fail(const char* what, std::string_view line) {
  std::fprintf(stderr, "%s\nline (%zu bytes):", what, line.size());
  for (const char c : line)
    std::fprintf(stderr, " %02X", static_cast<unsigned char>(c));
  std::fprintf(stderr, "\n");
  std::abort();
}

// Every line the tool reads from `input` delivered `record` bytes per read.
std::vector<std::string> ReadLines(std::string_view input, std::size_t record) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds) != 0) std::abort();
  std::thread writer([&] {
    for (std::size_t at = 0; at < input.size(); at += record) {
      const std::size_t n = std::min(record, input.size() - at);
      if (write(fds[1], input.data() + at, n) != static_cast<ssize_t>(n))
        std::abort();
    }
    close(fds[1]);
  });
  Tavrin::Cli::LineReader reader(fds[0]);
  std::vector<std::string> lines;
  std::string line;
  while (reader.Next(line)) lines.push_back(line);
  writer.join();
  close(fds[0]);
  if (reader.error() != 0) std::abort();
  return lines;
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

void CheckLine(Tavrin::Cli::LineScreener& screener, Tavrin::Cli::Encoding encoding,
               std::string_view body) {
  using Tavrin::Cli::Verdict;
  const Verdict verdict = screener.Check(body);
  std::string filtered;
  const Verdict filter_verdict = screener.Filter(body, filtered);
  std::vector<Tavrin::Cli::RowHit> hits;
  const Verdict explain_verdict = screener.Explain(body, hits);
  if (filter_verdict != verdict || explain_verdict != verdict)
    Fail("check, filter and explain disagree", body);

  if (encoding == Tavrin::Cli::Encoding::kUtf8) {
    const std::size_t invalid = Tavrin::FindInvalidUtf8(body);
    if (invalid != FirstByteIconvRefuses(body))
      Fail("FindInvalidUtf8 disagrees with iconv", body);
    if (invalid != std::string_view::npos) {
      if (verdict != Verdict::kError || screener.error_offset() != invalid ||
          filtered != "***<br>" || !hits.empty())
        Fail("ill-formed UTF-8 not refused", body);
      return;
    }
  } else if (screener.screened() != body) {
    Fail("a GBK line is not screened as it is", body);
  }

  const std::string_view screened = screener.screened();
  const bool banned = AnyPieceBanned(std::string(screened));
  if (verdict != (banned ? Verdict::kBanned : Verdict::kClean))
    Fail("the verdict disagrees with the word list", body);
  if (filtered != (banned ? std::string_view("***<br>") : body))
    Fail("filter wrote the wrong line", body);

  // Explain lists exactly the rows that occur, in table order, each at its
  // first occurrence.
  std::size_t next_hit = 0;
  for (std::size_t row = 1; row <= Tavrin::kBannedWordCount; ++row) {
    const std::size_t at = FirstOccurrence(screened, Tavrin::Cli::RowBytes(row));
    if (at == std::string_view::npos) continue;
    if (!banned) Fail("a row occurs in a clean line", body);
    if (next_hit == hits.size() || hits[next_hit].row != row ||
        hits[next_hit].offset != at)
      Fail("explain lists the wrong rows or offsets", body);
    ++next_hit;
  }
  if (next_hit != hits.size()) Fail("explain lists a row that is absent", body);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size < 2) return 0;
  const Tavrin::Cli::Encoding encoding = (data[0] & 1) != 0
                                           ? Tavrin::Cli::Encoding::kUtf8
                                           : Tavrin::Cli::Encoding::kGbk;
  const std::size_t record = std::size_t{data[1]} + 1;
  const std::string_view input(reinterpret_cast<const char*>(data) + 2,
                               size - 2);
  Tavrin::EnsureWordList();

  const std::vector<std::string> lines = ReadLines(input, record);
  std::string joined;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    const std::size_t newline = line.find('\n');
    const bool last = i + 1 == lines.size();
    if (line.empty() ||
        (newline != line.size() - 1 && !(last && newline == std::string::npos)))
      Fail("a line is not cut at its newline", line);
    joined += line;
  }
  if (joined != input) Fail("the lines read are not the input", joined);

  static Tavrin::Cli::LineScreener gbk(Tavrin::Cli::Encoding::kGbk);
  static Tavrin::Cli::LineScreener utf8(Tavrin::Cli::Encoding::kUtf8);
  Tavrin::Cli::LineScreener& screener =
      encoding == Tavrin::Cli::Encoding::kUtf8 ? utf8 : gbk;
  if (!screener.ok()) std::abort();
  for (const std::string& line : lines) {
    const Tavrin::Cli::LineParts parts = Tavrin::Cli::SplitEnding(line);
    const std::string_view expected_ending =
        line.size() >= 2 && line.compare(line.size() - 2, 2, "\r\n") == 0
            ? "\r\n"
        : line.back() == '\n' ? "\n"
                              : "";
    if (parts.ending != expected_ending ||
        std::string(parts.body) + std::string(parts.ending) != line)
      Fail("the line ending is split off wrongly", line);
    CheckLine(screener, encoding, parts.body);
  }
  return 0;
}
