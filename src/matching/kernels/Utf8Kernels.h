// The block conversions of UTF-8 to GBK, one for each instruction set whose
// line in the kernel list (ScanKernels.cmake, TAVRIN_UTF8_KERNEL_TABLE) says
// it has one. Each has the same contract:
//
//   Utf8Blocks Utf8ToGbk<Name>(const std::uint16_t* gbk_forms,
//                              const unsigned char* in, std::size_t length,
//                              unsigned char* out,
//                              std::size_t capacity) noexcept;
//
// It converts a prefix of in[0 .. length), which must begin a character (or
// end the input), a block of 64 bytes at a time, and stops at the first block
// it cannot vouch for: one that holds or may end an ill-formed sequence,
// the last 64 to 127 bytes of the input (a conversion may take an input
// shorter than 128 bytes whole), or when `out` has room for fewer than
// kUtf8BlockRoom more bytes. What it read ends with a whole character
// and is well-formed UTF-8 (the rules of FindInvalidUtf8: RFC 3629); what it
// wrote is those characters' GBK forms, the bytes the character-by-character
// conversion (api/ToGbk.cpp) gives them. It may read nothing. The caller
// goes on from there character by character, for a block or more, before it
// calls again. Nothing outside in[0 .. length) is read, nothing outside
// out[0 .. capacity) written; no allocation, no lock.
//
// `gbk_forms` (kGbkFormCount entries, built by api/ToGbk.cpp from glibc's
// converter) gives each code point of the Basic Multilingual Plane its GBK
// bytes, the first plus the second times 256 (none for a single byte), so
// that a little-endian store writes them in order; the surrogates (never
// characters) hold '?', and stand for every character beyond the plane,
// none of which GBK has. A kernel may read the kGbkFormCount - 0x10000
// entries past U+FFFF as padding.
#ifndef TAVRIN_MATCHING_KERNELS_UTF8KERNELS_H_
#define TAVRIN_MATCHING_KERNELS_UTF8KERNELS_H_

#include <cstddef>
#include <cstdint>

#include "ScanKernelList.h"
#include "matching/Scanner.h"

namespace Tavrin {
namespace Scan {

constexpr std::size_t kGbkFormCount = 0x10000 + 16;
// Room in `out` a block conversion needs to go on: a block's characters
// (up to 67 bytes, the last running past it) give at most 67 bytes, and a
// conversion may write a whole vector or a two-byte form past them.
constexpr std::size_t kUtf8BlockRoom = 72;

struct Utf8Blocks {
  std::size_t read;
  std::size_t written;
};

using Utf8Kernel = Utf8Blocks (*)(const std::uint16_t*, const unsigned char*,
                                  std::size_t, unsigned char*,
                                  std::size_t) noexcept;

#define TAVRIN_DECLARE_UTF8_KERNEL(Name, name, needs, needs_names)           \
  Utf8Blocks Utf8ToGbk##Name(const std::uint16_t* gbk_forms,                 \
                             const unsigned char* in, std::size_t length,    \
                             unsigned char* out, std::size_t capacity) noexcept;
TAVRIN_FOR_EACH_UTF8_KERNEL(TAVRIN_DECLARE_UTF8_KERNEL)
#undef TAVRIN_DECLARE_UTF8_KERNEL

// The block conversion of `kernel`'s instruction set, or nullptr where the
// list gives it none. Which one a text takes is Utf8KernelFor's choice.
inline Utf8Kernel Utf8KernelFunction(ScanKernel kernel) noexcept {
  switch (kernel) {
#define TAVRIN_UTF8_KERNEL_CASE(Name, name, needs, needs_names) \
  case ScanKernel::k##Name:                                     \
    return Utf8ToGbk##Name;
    TAVRIN_FOR_EACH_UTF8_KERNEL(TAVRIN_UTF8_KERNEL_CASE)
#undef TAVRIN_UTF8_KERNEL_CASE
    default:
      break;
  }
  return nullptr;
}

}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_UTF8KERNELS_H_
