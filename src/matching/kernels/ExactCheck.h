// The exact check behind every kernel: whether a row of the tables really
// ends where a filter let a candidate through. Compiled for the baseline
// instruction set and called out of line; every kernel shares it.
#ifndef TAVRIN_MATCHING_KERNELS_EXACTCHECK_H_
#define TAVRIN_MATCHING_KERNELS_EXACTCHECK_H_

#include <cstddef>
#include <cstdint>

#include "matching/kernels/ScanTables.h"

namespace Tavrin {
namespace Scan {

// Whether one of the rows in `rows` (bit r: tables.rows[r]) ends on
// text[end], end < length. Reads only text[0 .. length).
bool RowsEndAt(const ScanTables& tables, std::uint64_t rows,
               const unsigned char* text, std::size_t length,
               std::size_t end) noexcept;

// The first of the windows at offsets `window_base + i`, for each bit i set
// in `candidates`, on whose last byte, text[window_base + i + kSuffixLength
// - 1], a row ends: that byte's offset plus one (the end of the row), or 0
// when a row ends on none. `window_base` may be negative (the first windows
// of a text begin before it); ends outside the text are skipped. Each end's
// rows are first narrowed by the text's last three bytes there. Reads only
// text[0 .. length).
std::size_t FirstRowEndInBlock(const ScanTables& tables,
                               const unsigned char* text, std::size_t length,
                               std::ptrdiff_t window_base,
                               std::uint64_t candidates) noexcept;

// Of the candidates as FirstRowEndInBlock takes them, how many are left by
// the narrowing (the rows whose last three bytes are the text's there), so
// that a row is compared exactly; for the benchmark's counts.
std::size_t NarrowedCandidates(const ScanTables& tables, const unsigned char* text,
                               std::size_t length, std::ptrdiff_t window_base,
                               std::uint64_t candidates) noexcept;

}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_EXACTCHECK_H_
