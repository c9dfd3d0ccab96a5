// The tool's screening: the verdicts of whole chunks of lines through the
// library's bulk calls (tavrin_screen_lines and _utf8 in tavrin_c.h), a line
// too long for a chunk screened piece by piece, and the rows found in one
// line for explain. Everything is screened through the C interface, as a
// host screens it; GB18030 goes through the library's own bulk call for
// converted text (api/ScreenLines.h), the one under tavrin_screen_lines_utf8.
//
// A verdict is one of TAVRIN_CLEAN, TAVRIN_BANNED and TAVRIN_INVALID (a line
// that is not well-formed in its encoding: never clean).
#ifndef TAVRIN_TOOLS_SCREENING_H_
#define TAVRIN_TOOLS_SCREENING_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "Input.h"
#include "api/Internals.h"
#include "tavrin_c.h"

namespace Tavrin {
namespace Cli {

enum class Encoding { kGbk, kUtf8, kGb18030 };

// Parses an --encoding value or a locale's character set: "gbk", "cp936",
// "utf-8", "utf8", "gb18030" (any case).
bool ParseEncoding(std::string_view name, Encoding* encoding) noexcept;

// "GBK", "UTF-8" or "GB18030", for messages.
std::string_view EncodingName(Encoding encoding) noexcept;

// False when this C library cannot convert `encoding` to GBK.
bool CanScreen(Encoding encoding) noexcept;

// Screens chunks of whole lines.
class ChunkScreener {
 public:
  // Writes the verdict of every line of data[0 .. size) to the bytes of
  // `verdicts`, one each, and returns how many. `verdicts` grows to `size`
  // bytes (no chunk has more lines than bytes), not zeroed: only as many
  // pages as there are lines are ever touched. Lines follow tavrin_screen_lines' rules: a line
  // ends at '\n', the last may lack one, and an empty chunk has none.
  // Requires CanScreen(encoding).
  std::size_t Screen(Encoding encoding, const char* data, std::size_t size,
                     ChunkBuffer& verdicts);
};

// Screens one line that comes in pieces, holding only what a row or a
// character may span: the last kLongestBannedWord - 1 bytes screened, and
// an incomplete character at the end of a piece (which the caller gives
// again, at the front of the next piece). Memory stays bounded whatever the
// length of the line.
class LongLineScreener {
 public:
  explicit LongLineScreener(Encoding encoding) : encoding_(encoding) {}

  // Screens the next piece of the line; `ends_line` says that no more of it
  // follows. Returns the bytes of the piece taken: all of them, except an
  // incomplete UTF-8 or GB18030 character at its end when the line goes on.
  std::size_t Add(const char* data, std::size_t size, bool ends_line);

  // After the piece that ends the line: its verdict and, when
  // TAVRIN_INVALID, the offset in the line of the first ill-formed byte.
  // Then Reset() for the next line.
  unsigned char verdict() const noexcept { return verdict_; }
  std::size_t error_offset() const noexcept { return error_offset_; }
  void Reset() noexcept;

 private:
  // Screens gbk[0 .. size), the bytes that follow those already screened.
  void ScreenGbk(const char* gbk, std::size_t size);

  Encoding encoding_;
  unsigned char verdict_ = TAVRIN_CLEAN;
  std::size_t taken_ = 0;  // bytes of the line taken so far
  std::size_t error_offset_ = 0;
  char tail_[kLongestBannedWord - 1];
  std::size_t tail_size_ = 0;
  std::string scratch_;
};

// What a chunk gives to screen: the end of a line that came in pieces,
// already screened, and the whole lines after it.
struct ChunkLines {
  bool has_long_line = false;
  unsigned char long_line_verdict = TAVRIN_CLEAN;
  std::size_t long_line_error_offset = 0;
  const char* lines = nullptr;
  std::size_t size = 0;
};

// Reads chunks from `reader` into `buffer` up to one that ends a line; a
// line that comes in pieces is screened by `long_line` on the way, with
// reader.Pause() between the pieces. False at the end of the input, on a
// read error, or when no more of it is wanted.
bool NextLines(ChunkReader& reader, ChunkBuffer& buffer,
               LongLineScreener& long_line, ChunkLines* lines);

// The rows that occur in one line (without its newline), in table order,
// each with the offset of its first occurrence in the GBK bytes screened,
// as tavrin_find reports them. Returns the line's verdict; on
// TAVRIN_INVALID `rows` is empty and *error_offset is the offset of the
// first ill-formed byte. `scratch` holds the GBK form of a line that is not
// GBK, a step of it at a time (64 KiB), however long the line.
unsigned char FindRows(Encoding encoding, std::string_view line,
                       std::string& scratch, std::vector<tavrin_match>& rows,
                       std::size_t* error_offset);

// "clean", "banned" or "error" (TAVRIN_INVALID), as the tool writes them.
std::string_view VerdictName(unsigned char verdict) noexcept;

// The bytes of row `row`, 1 to 54 (empty for any other number).
std::string_view RowBytes(std::size_t row) noexcept;

}  // namespace Cli
}  // namespace Tavrin

#endif  // TAVRIN_TOOLS_SCREENING_H_
