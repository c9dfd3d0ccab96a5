// The block loop shared by the vector kernels. Each kernel's file includes
// it and instantiates it with its own block filter, so the loop is compiled
// with that kernel's instruction set; everything here has internal linkage,
// so no copy built for one instruction set can stand in for another's.
#ifndef TAVRIN_MATCHING_KERNELS_BLOCKSCAN_H_
#define TAVRIN_MATCHING_KERNELS_BLOCKSCAN_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "matching/kernels/FilterCounts.h"
#include "matching/kernels/ExactCheck.h"
#include "matching/kernels/ScanTables.h"

namespace Tavrin {
namespace Scan {
namespace {

// The word with bits 0 .. n - 1 set, n clamped to 0 .. 64; without
// branches, as n follows the text's length.
inline std::uint64_t LowBits(std::ptrdiff_t n) {
  n = n < 0 ? 0 : n;
  n = n > 64 ? 64 : n;
  const std::uint64_t all = std::uint64_t{0} - static_cast<std::uint64_t>(n >> 6);
  return ((std::uint64_t{1} << (n & 63)) - 1u) | all;
}

// `Filter` is constructed from the tables and has
//   static constexpr std::size_t kBlockLength;   // windows per block, <= 64
//   static constexpr std::size_t kWindowLength;  // bytes per window
//   static constexpr std::size_t kLead;  // windows that begin before the text
//   std::uint64_t Candidates(const unsigned char* block);
//   static constexpr std::size_t kMaxRun;  // blocks CandidatesInPlace takes
//   bool CandidatesInPlace(const unsigned char* text, std::ptrdiff_t window_base,
//                          std::size_t count, std::uint64_t* candidates);
//   std::size_t Confirm(const unsigned char* text, std::size_t length,
//                       std::ptrdiff_t window_base, std::uint64_t candidates);
// The block at offset `window_base` holds the windows at offsets
// window_base .. window_base + kBlockLength - 1, the window at offset w
// being the kWindowLength bytes from w on; bit i of its candidates stands
// for the window at window_base + i. Candidates reads the block's bytes,
// block[0 .. kBlockLength + kWindowLength - 1), and sets the bit of each
// window that may end with a row (the filter's own test): it may set bits
// that turn out false, but never leaves out a window a row ends. Zero bytes
// stand for bytes outside the text and never complete a row.
// CandidatesInPlace runs Candidates over `count` blocks in place at
// window_base, window_base + kBlockLength, ..., into candidates[0 .. count),
// and says whether any has some. Confirm checks a block's candidates exactly
// and returns the end of the first row it finds (FirstRowEndInBlock), or 0.
// Blocks are confirmed in order, so ScanBlocks returns the end of the row
// that ends first.
//
// The windows run from offset -kLead (rows that end early in the text) to
// length - kWindowLength (the last window whose bytes are all in the text).
// A block whose bytes lie wholly in text[0 .. length) is read in place; the
// first and last blocks are copied, zero padded, onto the stack, so no read
// leaves the text:
//
//     offset:  -kLead    0                                 length
//     block:   [ copied | in place | in place | ... | copied ]
//              zero pad ^                               ^ zero pad
//
// A filter with kMaskedEdges reads those blocks itself instead, through
//   std::uint64_t CandidatesAtEdge(const unsigned char* text,
//                                  std::size_t length, std::ptrdiff_t window_base);
// which must read only text[0 .. length) and take other bytes as zero.
//
// A short text (at most kShortBytes, about 128 bytes) is copied whole, once,
// zero padded on both sides, and its blocks are filtered in the copy, with
// no loop over edges and batches: a short call's time is mostly fixed costs.
//
//     copy:  [ kLead zeros | text[0 .. length) | zeros ... ]
//     block: [ -kLead      | -kLead + kBlockLength | ... ]   (in the copy)
// With `counts` (the benchmark's Count<Name>), ScanShort and ScanBlocks
// confirm nothing: they filter the whole text and count what passes
// (CountBlock).
// A block filtered alone (an edge, a short text) takes both stages at once.
inline void CountBlock(const ScanTables& tables, const unsigned char* text,
                       std::size_t length, std::ptrdiff_t window_base,
                       std::uint64_t candidates, bool high_run, FilterCounts& counts) {
  ++counts.blocks;
  counts.high_run_blocks += high_run;
  counts.passing_blocks += candidates != 0;
  for (std::uint64_t c = candidates; c != 0; c &= c - 1) ++counts.candidates;
  counts.narrowed += NarrowedCandidates(tables, text, length, window_base, candidates);
}

template <typename Filter>
std::size_t ScanShort(const ScanTables& tables, const unsigned char* text,
                      std::size_t length, FilterCounts* counts) noexcept {
  constexpr std::size_t kBlocks = 128 / Filter::kBlockLength;
  constexpr std::size_t kCopyBytes =
      kBlocks * Filter::kBlockLength + Filter::kWindowLength - 1;
  unsigned char copy[kCopyBytes];
  std::memset(copy, 0, sizeof copy);
  std::memcpy(copy + Filter::kLead, text, length);
  Filter filter(tables);
  const std::ptrdiff_t last_window = static_cast<std::ptrdiff_t>(length) -
                                     static_cast<std::ptrdiff_t>(Filter::kWindowLength);
  std::ptrdiff_t window_base = -static_cast<std::ptrdiff_t>(Filter::kLead);
  for (std::size_t b = 0; window_base <= last_window; ++b) {
    const std::uint64_t candidates = filter.Candidates(copy + b * Filter::kBlockLength) &
                                     LowBits(last_window - window_base + 1);
    if (counts != nullptr) {
      CountBlock(tables, text, length, window_base, candidates, false, *counts);
      ++counts->second_stage_blocks;
    } else if (candidates != 0) {
      if (const std::size_t end = filter.Confirm(text, length, window_base, candidates))
        return end;
    }
    window_base += static_cast<std::ptrdiff_t>(Filter::kBlockLength);
  }
  return 0;
}
template <typename Filter>
constexpr std::size_t kShortBytes = 128 / Filter::kBlockLength * Filter::kBlockLength +
                                    Filter::kWindowLength - Filter::kLead - 1;

template <typename Filter>
std::size_t ScanBlocks(const ScanTables& tables, const unsigned char* text,
                       std::size_t length, FilterCounts* counts = nullptr) noexcept {
  constexpr std::ptrdiff_t kBlockLength =
      static_cast<std::ptrdiff_t>(Filter::kBlockLength);
  constexpr std::ptrdiff_t kBlockBytes =
      kBlockLength + static_cast<std::ptrdiff_t>(Filter::kWindowLength) - 1;
  static_assert(kBlockLength <= 64, "a block's candidates are bits of one word");
  if (length < Filter::kWindowLength - Filter::kLead) return 0;
  if constexpr (!Filter::kMaskedEdges) {
    if (length <= kShortBytes<Filter>)
      return ScanShort<Filter>(tables, text, length, counts);
  }
  const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(length);
  // The last window, and the last block that lies wholly in the text.
  const std::ptrdiff_t last_window =
      size - static_cast<std::ptrdiff_t>(Filter::kWindowLength);
  const std::ptrdiff_t last_in_place = size - kBlockBytes;
  Filter filter(tables);
  std::ptrdiff_t window_base = -static_cast<std::ptrdiff_t>(Filter::kLead);
  while (window_base <= last_window) {
    if (window_base >= 0 && window_base <= last_in_place) {
      // A batch of blocks in place, filtered in one run; only then are the
      // candidates checked, so the vector loop is not left at each one.
      constexpr std::size_t kBatch = Filter::kMaxRun;
      std::uint64_t batch[kBatch];
      std::size_t count =
          static_cast<std::size_t>((last_in_place - window_base) / kBlockLength) + 1;
      if (count > kBatch) count = kBatch;
      const bool any = filter.CandidatesInPlace(text, window_base, count, batch);
      if (counts != nullptr) {
        counts->second_stage_blocks += filter.second_stage_blocks();
        for (std::size_t i = 0; i < count; ++i)
          CountBlock(tables, text, length,
                     window_base + static_cast<std::ptrdiff_t>(i) * kBlockLength, batch[i],
                     filter.last_run_was_high(), *counts);
      } else if (any) {
        for (std::size_t i = 0; i < count; ++i) {
          if (batch[i] == 0) continue;
          if (const std::size_t end = filter.Confirm(
                  text, length,
                  window_base + static_cast<std::ptrdiff_t>(i) * kBlockLength,
                  batch[i]))
            return end;
        }
      }
      window_base += static_cast<std::ptrdiff_t>(count) * kBlockLength;
      continue;
    }
    std::uint64_t candidates;
    if constexpr (Filter::kMaskedEdges) {
      candidates = filter.CandidatesAtEdge(text, length, window_base);
    } else {
      unsigned char block[kBlockBytes];
      std::memset(block, 0, sizeof block);
      const std::ptrdiff_t from = window_base < 0 ? 0 : window_base;
      const std::ptrdiff_t to =
          window_base + kBlockBytes < size ? window_base + kBlockBytes : size;
      std::memcpy(block + (from - window_base), text + from,
                  static_cast<std::size_t>(to - from));
      candidates = filter.Candidates(block);
    }
    candidates &= LowBits(last_window - window_base + 1);
    if (counts != nullptr) {
      CountBlock(tables, text, length, window_base, candidates, false, *counts);
      ++counts->second_stage_blocks;
    } else if (candidates != 0) {
      if (const std::size_t end = filter.Confirm(text, length, window_base, candidates))
        return end;
    }
    window_base += kBlockLength;
  }
  return 0;
}

}  // namespace
}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_BLOCKSCAN_H_
