// The bulk calls of the C interface: the verdict of every line of a buffer,
// in one call (tavrin_screen_lines and tavrin_screen_lines_utf8 in
// tavrin_c.h, which state the contract).
#ifndef TAVRIN_API_SCREENLINES_H_
#define TAVRIN_API_SCREENLINES_H_

#include <cstddef>

#include "api/ToGbk.h"

namespace Tavrin {

// The verdicts of the lines of data[0 .. length), GBK or ASCII bytes, at
// most `capacity` of them, into verdicts[0 ..); returns how many, with the
// bytes they took (newlines included) in *consumed. Requires
// EnsureWordList().
std::size_t ScreenGbkLines(const char* data, std::size_t length,
                           unsigned char* verdicts, std::size_t capacity,
                           std::size_t* consumed) noexcept;

// The same for UTF-8 or GB18030 text, each line converted to GBK as
// TranscodeToGbk converts it; a line that is not well-formed in `encoding`
// is TAVRIN_INVALID. Requires PrepareToGbk(encoding) (which makes
// EnsureWordList()). Allocates nothing: it converts a window of lines at a
// time on the stack.
std::size_t ScreenConvertedLines(InputEncoding encoding, const char* data,
                                 std::size_t length, unsigned char* verdicts,
                                 std::size_t capacity, std::size_t* consumed) noexcept;

// The verdict of one UTF-8 or GB18030 text, converted piece by piece on the
// stack: TAVRIN_CLEAN, TAVRIN_BANNED, or TAVRIN_INVALID when it is not
// well-formed (even if a row occurs before the ill-formed byte). Same
// requirements.
unsigned char ScreenConvertedText(InputEncoding encoding, const char* text,
                                  std::size_t length) noexcept;

}  // namespace Tavrin

#endif  // TAVRIN_API_SCREENLINES_H_
