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

// The word with bits 0 .. n - 1 set, n clamped to 0 .. 64; without
// branches, as n follows the text's length.
inline std::uint64_t LowBits(std::ptrdiff_t n) {
  n = n < 0 ? 0 : n;
  n = n > 64 ? 64 : n;
  const std::uint64_t all = std::uint64_t{0} - static_cast<std::uint64_t>(n >> 6);
  return ((std::uint64_t{1} << (n & 63)) - 1u) | all;
}

// `Filter` is constructed from the patterns and has
//   static constexpr std::size_t kLanes;  // lanes per block, at most 64
//   static constexpr std::size_t kWidth;  // bytes each lane looks at
//   static constexpr std::size_t kLead;   // lanes before the text's start
//   std::uint64_t Candidates(const unsigned char* block);
//   bool CandidatesInPlace(const unsigned char* text, std::ptrdiff_t base,
//                          std::size_t count, std::uint64_t* lanes);
//   bool Confirm(const unsigned char* text, std::size_t length,
//                std::ptrdiff_t base, std::uint64_t lanes);
// Lane i of a block at offset `base` looks at the kWidth bytes from
// base + i on. Candidates reads block[0 .. kLanes + kWidth - 1) and sets the
// bit of each lane whose bytes may hold the part of a row the filter knows;
// it may set bits that turn out false, but never leaves out a lane where a
// row occurs. Zero bytes stand for bytes outside the text and never complete
// a row. CandidatesInPlace runs Candidates over `count` blocks in place at
// base, base + kLanes, ..., into lanes[0 .. count), and says whether any has
// candidates. Confirm checks the set lanes of a block exactly.
//
// Lanes run from -kLead (rows whose filter bytes end early in the text)
// to length - kWidth (the last lane whose bytes are all in the text). A
// block wholly inside text[0 .. length) is read in place; the first and last
// blocks are copied, zero padded, onto the stack, so no read leaves the text.
// A filter with kMaskedEdges reads those blocks itself instead, through
//   std::uint64_t CandidatesAtEdge(const unsigned char* text,
//                                  std::size_t length, std::ptrdiff_t base);
// which must read only text[0 .. length) and take other bytes as zero.
template <typename Filter>
bool ScanBlocks(const ScanPatterns& patterns, const unsigned char* text,
                std::size_t length) noexcept {
  constexpr std::ptrdiff_t kLanes = static_cast<std::ptrdiff_t>(Filter::kLanes);
  constexpr std::ptrdiff_t kSpan =
      kLanes + static_cast<std::ptrdiff_t>(Filter::kWidth) - 1;
  static_assert(kLanes <= 64, "a block's lanes are bits of one word");
  if (length < Filter::kWidth - Filter::kLead) return false;
  const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(length);
  const std::ptrdiff_t last = size - static_cast<std::ptrdiff_t>(Filter::kWidth);
  // The last offset of a block that lies wholly in the text.
  const std::ptrdiff_t last_in_place = size - kSpan;
  Filter filter(patterns);
  std::ptrdiff_t base = -static_cast<std::ptrdiff_t>(Filter::kLead);
  while (base <= last) {
    std::uint64_t lanes;
    if (base >= 0 && base <= last_in_place) {
      // A batch of blocks in place, filtered in one run; only then are the
      // candidates checked, so the vector loop is not left at each one.
      constexpr std::size_t kBatch = 16;
      std::uint64_t batch[kBatch];
      std::size_t count =
          static_cast<std::size_t>((last_in_place - base) / kLanes) + 1;
      if (count > kBatch) count = kBatch;
      if (filter.CandidatesInPlace(text, base, count, batch)) {
        for (std::size_t i = 0; i < count; ++i) {
          if (batch[i] != 0 &&
              filter.Confirm(text, length,
                             base + static_cast<std::ptrdiff_t>(i) * kLanes,
                             batch[i]))
            return true;
        }
      }
      base += static_cast<std::ptrdiff_t>(count) * kLanes;
      continue;
    } else {
      if constexpr (Filter::kMaskedEdges) {
        lanes = filter.CandidatesAtEdge(text, length, base);
      } else {
        unsigned char block[kSpan];
        std::memset(block, 0, sizeof block);
        const std::ptrdiff_t from = base < 0 ? 0 : base;
        const std::ptrdiff_t to = base + kSpan < size ? base + kSpan : size;
        std::memcpy(block + (from - base), text + from,
                    static_cast<std::size_t>(to - from));
        lanes = filter.Candidates(block);
      }
      lanes &= LowBits(last - base + 1);
    }
    if (lanes != 0 && filter.Confirm(text, length, base, lanes)) return true;
    base += kLanes;
  }
  return false;
}

}  // namespace
}  // namespace scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_BLOCKSCAN_H_
