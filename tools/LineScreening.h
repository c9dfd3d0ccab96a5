// The line handling of the tavrin command-line tool, apart from its argument
// parsing and I/O so that it can be unit-tested and fuzzed directly: reading
// lines of any length, splitting off their endings, and the check, filter and
// explain decisions for one line.
//
// A line is screened the way a host would screen it, through the library's C
// interface (tavrin_c.h), which takes the line with its length: a zero byte
// in a line is an ordinary byte. UTF-8 input is converted to GBK by the
// library's own conversion, the one tavrin_is_valid_utf8 uses.
#ifndef TAVRIN_TOOLS_LINESCREENING_H_
#define TAVRIN_TOOLS_LINESCREENING_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "api/Internals.h"

namespace Tavrin {
namespace Cli {

// ---------------------------------------------------------------- lines

// A line as read, split into its bytes and its ending: "\r\n", "\n", or ""
// for a last line that has no newline. A carriage return is part of the
// ending only directly before the newline.
struct LineParts {
  std::string_view body;
  std::string_view ending;
};
LineParts SplitEnding(std::string_view line) noexcept;

// Reads a file descriptor line by line, each line with its newline (if it
// has one), however long the line and whatever bytes it holds. It reads what
// is there (read(2)), so a line typed at a terminal is answered at once.
class LineReader {
 public:
  explicit LineReader(int fd) noexcept : fd_(fd) {}

  // Replaces `line` with the next line. Returns false at the end of input or
  // on a read error (then error() is the errno value). A last line without a
  // newline is still returned; a line cut short by a read error is not.
  bool Next(std::string& line);
  int error() const noexcept { return error_; }

 private:
  bool Fill();

  int fd_;
  std::string buffer_;
  std::size_t start_ = 0;
  bool eof_ = false;
  int error_ = 0;
};

// ---------------------------------------------------------------- encodings

enum class Encoding { kGbk, kUtf8 };

// Parses an --encoding value: "gbk", "cp936", "utf-8", "utf8" (any case).
bool ParseEncoding(std::string_view name, Encoding* encoding) noexcept;

// The GBK bytes of a row shown as UTF-8 for a reader's terminal (the bytes
// themselves when they are not valid GBK).
std::string GbkToUtf8ForDisplay(std::string_view gbk);

// "C2 E8 B5 C4": the bytes in upper-case hex, separated by spaces.
std::string HexBytes(std::string_view bytes);

// ---------------------------------------------------------------- decisions

enum class Verdict { kClean, kBanned, kError };

// One row of the built-in list found in a line.
struct RowHit {
  std::size_t row;     // 1 to 54, as numbered in the table
  std::size_t offset;  // byte offset of its first occurrence in the bytes
                       // screened (GBK, after conversion from UTF-8)
};

// Screens lines (without their endings) one at a time. Not thread-safe:
// each thread needs its own.
class LineScreener {
 public:
  explicit LineScreener(Encoding encoding);

  // False when the encoding needs a conversion this C library lacks.
  bool ok() const noexcept;

  // The verdict of tavrin_is_valid over the line's bytes. kError when the
  // line is not well-formed UTF-8 under Encoding::kUtf8 (see error_offset).
  Verdict Check(std::string_view line);

  // Replaces `out` with what filter writes for the line: the line itself,
  // byte for byte, when clean (the original UTF-8, characters GBK lacks
  // included), else the marker Tavrin::Filtrate writes in its place,
  // "***<br>". A line that cannot be screened (kError) also gets "***<br>",
  // so that nothing unscreened gets through.
  Verdict Filter(std::string_view line, std::string& out);

  // The verdict of Check, and in `hits` what tavrin_find reports for the
  // line: every row of the list that occurs in it, in table order, each with
  // the offset of its first occurrence. A banned line has at least one hit.
  Verdict Explain(std::string_view line, std::vector<RowHit>& hits);

  // After kError: the offset in the line of the first ill-formed UTF-8 byte.
  std::size_t error_offset() const noexcept { return error_offset_; }

  // The bytes screened for the last line: the line itself (valid while it
  // is), or its GBK form.
  std::string_view screened() const noexcept { return screened_; }

 private:
  // Points screened_ at the bytes to screen for `line`: the line itself, or
  // its GBK form in gbk_; false on ill-formed UTF-8.
  bool Prepare(std::string_view line);

  Encoding encoding_;
  std::string gbk_;
  std::string_view screened_;
  std::size_t error_offset_ = 0;
};

// The bytes of row `row`, 1 to 54 (empty for any other number).
std::string_view RowBytes(std::size_t row) noexcept;

// ---------------------------------------------------------------- output

// "clean", "banned" or "error".
std::string_view VerdictName(Verdict verdict) noexcept;

// "NAME:LINE: clean", "NAME:LINE: banned" or "NAME:LINE: error", without a
// newline: the one line per input line that check and explain print.
std::string FormatVerdict(std::string_view name, std::size_t line_number,
                          Verdict verdict);

// "NAME:LINE: row 4 at byte 2: 73 65 78 \"sex\"", without a newline.
std::string FormatHit(std::string_view name, std::size_t line_number,
                      const RowHit& hit);

}  // namespace Cli
}  // namespace Tavrin

#endif  // TAVRIN_TOOLS_LINESCREENING_H_
