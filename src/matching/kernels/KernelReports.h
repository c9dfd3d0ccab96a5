// What a scan kernel reports: the rows it finds, and, for the benchmark,
// what its filters let through.
#ifndef TAVRIN_MATCHING_KERNELS_KERNELREPORTS_H_
#define TAVRIN_MATCHING_KERNELS_KERNELREPORTS_H_

#include <cstddef>

namespace Tavrin {

// Where a scan reports each row it finds, and from where it goes on. The
// scan calls visit(context, end) with the end of a row (the offset just past
// its last byte), then goes on with the rows whose last byte lies at or
// after the offset visit returned (at least `end`, so every row is reported
// once); it stops when that offset is the text's length or more. Rows are
// reported in the order they end.
struct RowVisitor {
  std::size_t (*visit)(void* context, std::size_t end) noexcept;
  void* context;
};

// How a kernel's filters let a text through, for the benchmark: what share of
// its blocks (kernel-wide runs of windows, one window ending at each byte)
// each stage passes. The portable kernel has no blocks: it counts only
// candidates and narrowed.
struct FilterCounts {
  std::size_t blocks = 0;           // blocks filtered
  std::size_t high_run_blocks = 0;  // of them, in runs without ASCII
  std::size_t second_stage_blocks = 0;  // of the others, those the mixed
                                        // filter's second stage looked at
                                        // (all, in a run of one stage)
  std::size_t passing_blocks = 0;   // blocks with a candidate
  std::size_t candidates = 0;       // windows the filter let through
  std::size_t narrowed = 0;         // of them, those whose last three bytes
                                    // are a row's: compared exactly
};

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_KERNELREPORTS_H_
