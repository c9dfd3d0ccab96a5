// The block loop shared by the vector kernels. Each kernel's file includes
// it and instantiates it with its own block filter, so the loop is compiled
// with that kernel's instruction set; everything here has internal linkage,
// so no copy built for one instruction set can stand in for another's.
#ifndef TAVRIN_MATCHING_KERNELS_BLOCKSCAN_H_
#define TAVRIN_MATCHING_KERNELS_BLOCKSCAN_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "matching/kernels/ScanPatterns.h"

namespace Tavrin {
namespace scan {
namespace {

// `Filter` is constructed from the patterns and has
//   static constexpr std::size_t kLanes;   // at most 32
//   std::uint32_t Candidates(const unsigned char* window) const;
// Candidates reads window[0 .. kLanes + kFingerprintLength - 1) and sets bit i
// when a row may start at window + i. It may set bits that turn out false;
// it must never leave out a start at which a row occurs.
//
// The text must be readable from text[0] to text[length] inclusive (its
// terminating zero): a window is read only when it ends at or before
// text[length], so no read leaves the text. A text too short for one window
// is copied into a zero-padded buffer first.
template <typename Filter>
bool ScanBlocks(const ScanPatterns& patterns, const unsigned char* text,
                std::size_t length) noexcept {
  constexpr std::size_t kLanes = Filter::kLanes;
  constexpr std::size_t kSpan = kLanes + kFingerprintLength - 1;
  static_assert(kLanes <= 32, "lanes are bits of a 32-bit mask");
  // A row has at least 2 bytes, so the last start worth looking at is
  // length - 2.
  if (length < 2) return false;
  const Filter filter(patterns);

  if (length + 1 < kSpan) {
    unsigned char window[kSpan + 1];
    std::memset(window, 0, sizeof window);
    std::memcpy(window, text, length);
    const std::uint32_t lanes = filter.Candidates(window) &
                                ((std::uint32_t{1} << (length - 1)) - 1u);
    return lanes != 0 && AnyRowMatchesAt(patterns, text, length, 0, lanes);
  }

  // Starts p .. p + kLanes - 1, reading text[p .. p + kSpan).
  std::size_t p = 0;
  for (; p + kSpan <= length + 1; p += kLanes) {
    const std::uint32_t lanes = filter.Candidates(text + p);
    if (lanes != 0 && AnyRowMatchesAt(patterns, text, length, p, lanes))
      return true;
  }
  if (p > length - 2) return false;
  // The starts p .. length - 2 remain: one last window that ends on the
  // terminator, overlapping starts already screened (fewer than kLanes).
  const std::size_t last = length + 1 - kSpan;
  const std::uint32_t lanes =
      filter.Candidates(text + last) & (~std::uint32_t{0} << (p - last));
  return lanes != 0 && AnyRowMatchesAt(patterns, text, length, last, lanes);
}

}  // namespace
}  // namespace scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_BLOCKSCAN_H_
