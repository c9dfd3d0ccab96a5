// What the fuzz targets share: texts placed so that AddressSanitizer sees
// every byte read outside them, and the reference verdict.
#ifndef TAVRIN_FUZZ_FUZZSUPPORT_H_
#define TAVRIN_FUZZ_FUZZSUPPORT_H_

#include <sanitizer/asan_interface.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "matching/NoCaseString.h"
#include "matching/LibrarySetup.h"
#include "matching/LiteralWalk.h"
#include "matching/WordList.h"

namespace Tavrin {
namespace Fuzz {

// The bytes before the first zero of data[0, size).
inline std::size_t TextLength(const std::uint8_t* data, std::size_t size) {
  const void* zero = std::memchr(data, 0, size);
  return zero == nullptr ? size
                         : static_cast<std::size_t>(
                               static_cast<const std::uint8_t*>(zero) - data);
}

// A zero-terminated copy of `length` bytes on the heap whose start is moved
// by `misalign` bytes from the allocator's alignment (vectorised code takes
// different paths by alignment). The bytes before the text are poisoned and
// the allocation ends at the terminating zero, so a read on either side is an
// AddressSanitizer report rather than a silently wrong answer.
class PlacedText {
 public:
  PlacedText(const void* bytes, std::size_t length, std::size_t misalign)
      : misalign_(misalign),
        block_(static_cast<char*>(std::malloc(misalign + length + 1))) {
    if (block_ == nullptr) std::abort();
    std::memcpy(block_ + misalign_, bytes, length);
    block_[misalign_ + length] = '\0';
    ASAN_POISON_MEMORY_REGION(block_, misalign_);
  }
  PlacedText(const PlacedText&) = delete;
  PlacedText& operator=(const PlacedText&) = delete;
  ~PlacedText() {
    ASAN_UNPOISON_MEMORY_REGION(block_, misalign_);
    std::free(block_);
  }

  const char* c_str() const { return block_ + misalign_; }

 private:
  std::size_t misalign_;
  char* block_;
};

// The verdict of the literal walk over the word list, the model that every
// faster path of the library must agree with.
inline bool ReferenceFindsBannedWord(const char* text) {
  Tavrin::EnsureWordList();
  return Tavrin::ContainsBannedWord(Tavrin::NoCaseString(text));
}

// Prints a failed expectation with the text it was about, and crashes so
// that libFuzzer saves the input.
[[noreturn]] inline void Fail(const char* what, const char* text) {
  std::fprintf(stderr, "%s\ntext (%zu bytes):", what, std::strlen(text));
  for (const char* p = text; *p != '\0'; ++p)
    std::fprintf(stderr, " %02X", static_cast<unsigned char>(*p));
  std::fprintf(stderr, "\n");
  std::abort();
}

}  // namespace Fuzz
}  // namespace Tavrin

#endif  // TAVRIN_FUZZ_FUZZSUPPORT_H_
