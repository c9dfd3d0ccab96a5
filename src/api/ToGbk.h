// The one conversion of UTF-8 and GB18030 text into the GBK bytes the
// library screens, shared by the C interface (the _utf8 calls) and the
// tavrin tool, so that every language that reaches the library, and the
// tool, screens a text as the same bytes.
//
// Each character becomes exactly the bytes the C library's own GBK converter
// (iconv) gives it, or '?' where GBK has none (an emoji, say). The converter
// is not opened per call: its answers for every character are read once,
// into tables in static storage, by the first call that needs them (a few
// milliseconds), and each call then only looks characters up. ASCII runs are
// copied as they are. Where the selected scan kernel's instruction set has a
// block conversion of UTF-8 (matching/kernels/Utf8Kernels.h), it checks and
// converts 64 bytes at a time from the same table, and the ends, and the
// blocks around an ill-formed sequence, go character by character; the
// bytes written are the same either way.
//
// It needs the C library's iconv with GBK, UTF-8 and GB18030 converters; the
// Windows module, built without iconv, leaves it out.
#ifndef TAVRIN_API_TOGBK_H_
#define TAVRIN_API_TOGBK_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "matching/Scanner.h"

namespace Tavrin {

enum class InputEncoding { kUtf8, kGb18030 };

// The number of ASCII bytes (below 0x80) at the start of text[0 .. length),
// eight at a time.
std::size_t AsciiPrefixLength(const char* text, std::size_t length) noexcept;

// The offset of the first byte that does not begin a well-formed UTF-8
// sequence (RFC 3629: no overlong forms, no surrogates, nothing above
// U+10FFFF, nothing cut short by the end of `text`), or npos when all of
// `text` is well-formed. Zero bytes are well-formed (U+0000).
std::size_t FindInvalidUtf8(std::string_view text) noexcept;

// Makes sure the tables for `encoding` are built; false when this C library
// cannot convert it to GBK, and then TranscodeToGbk must not be called for
// it. Safe from any number of threads; the first caller builds them while
// others wait (and makes the library's setup, EnsureWordList, which picks
// the block conversion with the kernel). Allocates nothing of its own
// (iconv itself may).
bool PrepareToGbk(InputEncoding encoding) noexcept;

// One step of a conversion.
struct ToGbkStep {
  std::size_t read;     // bytes of the input converted
  std::size_t written;  // GBK bytes written
  // True when the step stopped because in[read] begins no well-formed
  // sequence of the encoding (or one cut off by the end of the input).
  bool ill_formed;
};

// Converts a prefix of in[0 .. in_length) into out[0 .. out_capacity): up to
// the end of the input, to the first ill-formed sequence, or until `out` has
// room for fewer than two more bytes. It never writes more bytes than it
// reads, so an `out` as long as the input always takes all of it. Requires
// PrepareToGbk(encoding). Reads and writes nothing else; allocates nothing.
ToGbkStep TranscodeToGbk(InputEncoding encoding, const char* in,
                         std::size_t in_length, char* out,
                         std::size_t out_capacity) noexcept;

// TranscodeToGbk of UTF-8 through the block conversion that goes with
// `kernel` (Utf8KernelFor; kPortable: character by character), whatever the
// selected kernel; for the tests and the benchmark. Requires
// PrepareToGbk(InputEncoding::kUtf8).
ToGbkStep TranscodeUtf8ToGbkUsing(ScanKernel kernel, const char* in,
                                  std::size_t in_length, char* out,
                                  std::size_t out_capacity) noexcept;

// The whole of `text` in GBK, into `gbk` (replaced). Returns false, with
// *bad_offset the offset of the first ill-formed byte, when the text is not
// well-formed. Requires PrepareToGbk(encoding). Throws std::bad_alloc when
// `gbk` cannot grow.
bool ConvertToGbk(InputEncoding encoding, std::string_view text,
                  std::string& gbk, std::size_t* bad_offset);

}  // namespace Tavrin

#endif  // TAVRIN_API_TOGBK_H_
