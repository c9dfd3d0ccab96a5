// The block loop shared by the vector kernels. Each kernel's file includes
// it and instantiates it with its own block filter, so the loop is compiled
// with that kernel's instruction set; everything here has internal linkage,
// so no copy built for one instruction set can stand in for another's.
#ifndef TAVRIN_MATCHING_KERNELS_BLOCKSCAN_H_
#define TAVRIN_MATCHING_KERNELS_BLOCKSCAN_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "matching/kernels/KernelReports.h"
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
//   static constexpr std::size_t kMaxRun;  // blocks CandidatesInPlace takes
//   static constexpr bool kMaskedEdges;
//   std::uint64_t Candidates(const unsigned char* block);
//   bool CandidatesInPlace(const unsigned char* text, std::ptrdiff_t window_base,
//                          std::size_t count, std::uint64_t* candidates);
//   std::size_t Confirm(const unsigned char* text, std::size_t length,
//                       std::ptrdiff_t window_base, std::uint64_t candidates);
//   bool last_run_was_high(); std::size_t second_stage_blocks();  // counts
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
// Blocks are confirmed in order, and each block's candidates again from
// where the visitor goes on, so ScanBlocks reports rows in the order they
// end (ReportRows).
//
// The windows run from offset -kLead (rows that end early in the text) to
// length - kWindowLength (the last window whose bytes are all in the text).
// Every block but the first and the last is read in place. Without masked
// loads (kMaskedEdges), a text of at least kBlockLength + kWindowLength - 1
// bytes is read in place throughout:
//
//     offset:  -kLead  0                                        length
//     block:   [ first | in place | in place | ... |    last    ]
//                                              [ in place, overlapping ]
//
// - the first block's vectors are the text's first bytes moved up, zeros
//   shifted in for the kLead bytes before the text, in registers
//   (FirstCandidates);
// - the last block is read in place so that it ends where the text does;
//   it overlaps the block before, whose windows it drops.
// A shorter text is copied once, zero padded on both sides, onto the stack.
// A filter with kMaskedEdges reads the first and last blocks itself instead,
// through
//   std::uint64_t CandidatesAtEdge(const unsigned char* text,
//                                  std::size_t length, std::ptrdiff_t window_base);
// which must read only text[0 .. length) and take other bytes as zero; and
// without them
//   std::uint64_t FirstCandidates(const unsigned char* text, bool high);
//   std::uint64_t Candidates(const unsigned char* block, bool high);
//   static bool AllHighText(const unsigned char* text, std::size_t length);
// the first block's candidates, from text[0 .. kBlockLength + 1) alone, and
// a block's; with `high` (AllHighText: no byte of the text is ASCII) by the
// high-run filter.
//
// A short text (at most kShortBytes) has its blocks filtered one at a time,
// without the runs of blocks: a short call's time is mostly fixed costs.

// With `counts` (the benchmark's Count<Name>), nothing is confirmed: the
// whole text is filtered and what passes is counted. A block filtered alone
// (an edge, a short text) takes both stages at once.
inline void CountBlock(const ScanTables& tables, const unsigned char* text,
                       std::size_t length, std::ptrdiff_t window_base,
                       std::uint64_t candidates, bool high_run, bool second_stage,
                       FilterCounts& counts) {
  ++counts.blocks;
  counts.high_run_blocks += high_run;
  counts.second_stage_blocks += second_stage;
  counts.passing_blocks += candidates != 0;
  for (std::uint64_t c = candidates; c != 0; c &= c - 1) ++counts.candidates;
  counts.narrowed += NarrowedCandidates(tables, text, length, window_base, candidates);
}

// How a scan reports rows: only the end of the first (a text's verdict), or
// each row to a visitor that says where to go on (the bulk calls). The
// first kind compiles to a loop with no visitor in it at all.
struct FirstRowEnd {
  static constexpr bool kGoesOn = false;
  std::size_t end = 0;
};
struct VisitedRows {
  static constexpr bool kGoesOn = true;
  RowVisitor rows;
};
// What a scan returns: the first row's end (0 for none), or 0.
inline std::size_t ResultOf(const FirstRowEnd& first) { return first.end; }
inline std::size_t ResultOf(const VisitedRows&) { return 0; }

// Confirms a block's candidates and reports the rows they hold to
// `report`, dropping (with VisitedRows) the windows whose last byte lies
// before `from`, which each report moves on. Returns true when the scan is
// done: the first row found, or the visitor has stopped it.
template <typename Filter, typename Report>
inline bool ReportRows(const Filter& filter, const unsigned char* text, std::size_t length,
                       std::ptrdiff_t window_base, std::uint64_t candidates, Report& report,
                       std::size_t& from) {
  if constexpr (!Report::kGoesOn) {
    report.end = filter.Confirm(text, length, window_base, candidates);
    return report.end != 0;
  } else {
    constexpr std::ptrdiff_t kLastByte =
        static_cast<std::ptrdiff_t>(Filter::kWindowLength) - 1;
    for (;;) {
      candidates &= ~LowBits(static_cast<std::ptrdiff_t>(from) - window_base - kLastByte);
      if (candidates == 0) return false;
      const std::size_t end = filter.Confirm(text, length, window_base, candidates);
      if (end == 0) return false;
      from = report.rows.visit(report.rows.context, end);
      if (from >= length) return true;
    }
  }
}

template <typename Filter>
constexpr std::size_t kShortBytes = 128 / Filter::kBlockLength * Filter::kBlockLength +
                                    Filter::kWindowLength - Filter::kLead - 1;

// A text shorter than a block's bytes, without masked loads: copied once,
// zero padded on both sides, and its blocks filtered in the copy.
//
//     copy:  [ kLead zeros | text[0 .. length) | zeros ... ]
//     block: [ -kLead      | -kLead + kBlockLength ]   (in the copy)
template <typename Filter, typename Report>
std::size_t ScanCopied(const ScanTables& tables, const unsigned char* text, std::size_t length,
                Report& report, FilterCounts* counts) noexcept {
  constexpr std::size_t kBlockBytes = Filter::kBlockLength + Filter::kWindowLength - 1;
  // Windows -kLead .. length - kWindowLength, length < kBlockBytes: two blocks.
  unsigned char copy[Filter::kBlockLength + kBlockBytes];
  std::memset(copy, 0, sizeof copy);
  std::memcpy(copy + Filter::kLead, text, length);
  Filter filter(tables);
  const std::ptrdiff_t last_window = static_cast<std::ptrdiff_t>(length) -
                                     static_cast<std::ptrdiff_t>(Filter::kWindowLength);
  std::ptrdiff_t window_base = -static_cast<std::ptrdiff_t>(Filter::kLead);
  std::size_t from = 0;
  for (std::size_t b = 0; window_base <= last_window; ++b) {
    const std::uint64_t candidates = filter.Candidates(copy + b * Filter::kBlockLength) &
                                     LowBits(last_window - window_base + 1);
    if (counts != nullptr) {
      CountBlock(tables, text, length, window_base, candidates, false, true, *counts);
    } else if (candidates != 0 &&
               ReportRows(filter, text, length, window_base, candidates, report, from)) {
      return ResultOf(report);
    }
    window_base += static_cast<std::ptrdiff_t>(Filter::kBlockLength);
  }
  return ResultOf(report);
}

template <typename Filter, typename Report>
std::size_t ScanBlocks(const ScanTables& tables, const unsigned char* text, std::size_t length,
                Report& report, FilterCounts* counts = nullptr) noexcept {
  constexpr std::ptrdiff_t kBlockLength =
      static_cast<std::ptrdiff_t>(Filter::kBlockLength);
  constexpr std::ptrdiff_t kBlockBytes =
      kBlockLength + static_cast<std::ptrdiff_t>(Filter::kWindowLength) - 1;
  static_assert(kBlockLength <= 64, "a block's candidates are bits of one word");
  if (length < Filter::kWindowLength - Filter::kLead) return ResultOf(report);
  const std::ptrdiff_t size = static_cast<std::ptrdiff_t>(length);
  if constexpr (!Filter::kMaskedEdges) {
    if (size < kBlockBytes) return ScanCopied<Filter>(tables, text, length, report, counts);
  }
  // The last window, and the last block that lies wholly in the text.
  const std::ptrdiff_t last_window =
      size - static_cast<std::ptrdiff_t>(Filter::kWindowLength);
  const std::ptrdiff_t last_in_place = size - kBlockBytes;
  const bool short_text = length <= kShortBytes<Filter>;
  Filter filter(tables);
  // A short text with no ASCII byte (GBK chat without ASCII) takes the
  // high-run filter throughout; a long one decides run by run.
  bool high_text = false;
  if constexpr (!Filter::kMaskedEdges)
    high_text = short_text && Filter::AllHighText(text, length);
  // Reports (or counts) the rows of one block filtered alone; true when the
  // visitor has stopped the scan.
  std::size_t from = 0;
  const auto alone = [&](std::ptrdiff_t base, std::uint64_t candidates) {
    if (counts != nullptr) {
      CountBlock(tables, text, length, base, candidates, false, true, *counts);
      return false;
    }
    return candidates != 0 && ReportRows(filter, text, length, base, candidates, report, from);
  };
  std::ptrdiff_t window_base = -static_cast<std::ptrdiff_t>(Filter::kLead);
  // The windows that end before `from` are not wanted (a bulk call goes on
  // after a banned line, which may be long): the blocks go on from there.
  constexpr std::ptrdiff_t kLastByte = static_cast<std::ptrdiff_t>(Filter::kWindowLength) - 1;
  const auto go_on = [&](std::ptrdiff_t next) {
    window_base = next;
    if constexpr (Report::kGoesOn) {
      const std::ptrdiff_t wanted = static_cast<std::ptrdiff_t>(from) - kLastByte;
      if (wanted > next) window_base = wanted;
    }
  };
  while (window_base <= last_window) {
    if (window_base >= 0 && window_base <= last_in_place) {
      if (short_text) {
        if (alone(window_base, filter.Candidates(text + window_base, high_text))) return ResultOf(report);
        go_on(window_base + kBlockLength);
        continue;
      }
      // A batch of blocks in place, filtered in one run; only then are the
      // candidates checked, so the vector loop is not left at each one.
      constexpr std::size_t kBatch = Filter::kMaxRun;
      std::uint64_t batch[kBatch];
      std::size_t count =
          static_cast<std::size_t>((last_in_place - window_base) / kBlockLength) + 1;
      if (count > kBatch) count = kBatch;
      const bool any = filter.CandidatesInPlace(text, window_base, count, batch);
      if (counts != nullptr) {
        for (std::size_t i = 0; i < count; ++i)
          CountBlock(tables, text, length,
                     window_base + static_cast<std::ptrdiff_t>(i) * kBlockLength, batch[i],
                     filter.last_run_was_high(), i < filter.second_stage_blocks(), *counts);
      } else if (any) {
        for (std::size_t i = 0; i < count; ++i) {
          if (batch[i] != 0 &&
              ReportRows(filter, text, length,
                         window_base + static_cast<std::ptrdiff_t>(i) * kBlockLength,
                         batch[i], report, from))
            return ResultOf(report);
        }
      }
      go_on(window_base + static_cast<std::ptrdiff_t>(count) * kBlockLength);
      continue;
    }
    if constexpr (Filter::kMaskedEdges) {
      if (alone(window_base, filter.CandidatesAtEdge(text, length, window_base) &
                                 LowBits(last_window - window_base + 1)))
        return ResultOf(report);
      go_on(window_base + kBlockLength);
    } else if (window_base < 0) {
      if (alone(window_base, filter.FirstCandidates(text, high_text) &
                                 LowBits(last_window - window_base + 1)))
        return ResultOf(report);
      go_on(window_base + kBlockLength);
    } else {
      // The last block, in place where the text ends; the windows before
      // window_base were filtered with the block before.
      const std::uint64_t candidates = filter.Candidates(text + last_in_place, high_text) &
                                       ~LowBits(window_base - last_in_place);
      alone(last_in_place, candidates);
      return ResultOf(report);
    }
  }
  return ResultOf(report);
}

// A kernel's three entry points (Kernels.h) over its block filter.
template <typename Filter>
struct BlockKernel {
  static std::size_t Scan(const ScanTables& tables, const unsigned char* text,
                          std::size_t length) noexcept {
    FirstRowEnd first;
    return ScanBlocks<Filter>(tables, text, length, first);
  }
  static void Visit(const ScanTables& tables, const unsigned char* text,
                    std::size_t length, RowVisitor rows) noexcept {
    VisitedRows visited{rows};
    ScanBlocks<Filter>(tables, text, length, visited);
  }
  static void Count(const ScanTables& tables, const unsigned char* text,
                    std::size_t length, FilterCounts& counts) noexcept {
    FirstRowEnd unused;
    ScanBlocks<Filter>(tables, text, length, unused, &counts);
  }
};

}  // namespace
}  // namespace Scan
}  // namespace Tavrin

// Defines the kernel's entry points Scan<Name>, Visit<Name> and
// Count<Name> (Kernels.h) over its block filter, inside namespace
// Tavrin::Scan.
#define TAVRIN_BLOCK_KERNEL(Name, Filter)                                          \
  std::size_t Scan##Name(const ScanTables& tables, const unsigned char* text,    \
                         std::size_t length) noexcept {                          \
    return BlockKernel<Filter>::Scan(tables, text, length);                      \
  }                                                                              \
  void Visit##Name(const ScanTables& tables, const unsigned char* text,          \
                   std::size_t length, RowVisitor rows) noexcept {                \
    BlockKernel<Filter>::Visit(tables, text, length, rows);                      \
  }                                                                              \
  void Count##Name(const ScanTables& tables, const unsigned char* text,          \
                   std::size_t length, FilterCounts& counts) noexcept {          \
    BlockKernel<Filter>::Count(tables, text, length, counts);                    \
  }

#endif  // TAVRIN_MATCHING_KERNELS_BLOCKSCAN_H_
