// What a kernel's filters let through a text, counted for the benchmark.
#ifndef TAVRIN_MATCHING_KERNELS_FILTERCOUNTS_H_
#define TAVRIN_MATCHING_KERNELS_FILTERCOUNTS_H_

#include <cstddef>

namespace Tavrin {

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

#endif  // TAVRIN_MATCHING_KERNELS_FILTERCOUNTS_H_
