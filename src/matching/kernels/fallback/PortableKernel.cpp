// The kernel for any processor. At each byte of the text it narrows the rows
// to those whose last three bytes are the text's, by three lookups of the
// folded bytes in rows_ending_with (a shift-and over sets of rows), and
// compares the few left, usually none.
#include "matching/AsciiFold.h"
#include "matching/kernels/ExactCheck.h"
#include "matching/kernels/Kernels.h"

namespace Tavrin {
namespace Scan {
namespace {

// Calls at_rows(end, rows) for each byte text[end] (end >= 1), with the rows
// whose last three bytes are the text's there, until it returns true; then
// returns end + 1, else 0.
template <typename AtRows>
std::size_t NarrowEveryByte(const ScanTables& tables, const unsigned char* text,
                            std::size_t length, AtRows at_rows) {
  if (length < 2) return 0;
  const std::uint64_t(&ending_with)[3][256] = tables.rows_ending_with;
  // For the byte at `end`: the rows its previous byte allows as its row's
  // second-to-last byte (one_back) and the byte before that as the
  // third-to-last (two_back); every row where the text has no such byte.
  unsigned previous = FoldAsciiCase(text[0]);
  std::uint64_t one_back = ending_with[1][previous];
  std::uint64_t two_back = ~std::uint64_t{0};
  for (std::size_t end = 1; end < length; ++end) {
    const unsigned current = FoldAsciiCase(text[end]);
    if (at_rows(end, ending_with[0][current] & one_back & two_back)) return end + 1;
    two_back = ending_with[2][previous];
    one_back = ending_with[1][current];
    previous = current;
  }
  return 0;
}

}  // namespace

std::size_t ScanPortable(const ScanTables& tables, const unsigned char* text,
                         std::size_t length) noexcept {
  return NarrowEveryByte(tables, text, length, [&](std::size_t end, std::uint64_t rows) {
    return rows != 0 && RowsEndAt(tables, rows, text, length, end);
  });
}

// The portable kernel has no filter before the narrowing: each byte is a
// candidate, and the narrowed ones are those with a row to compare.
void CountPortable(const ScanTables& tables, const unsigned char* text,
                   std::size_t length, FilterCounts& counts) noexcept {
  NarrowEveryByte(tables, text, length, [&counts](std::size_t, std::uint64_t rows) {
    ++counts.candidates;
    counts.narrowed += rows != 0;
    return false;
  });
}

}  // namespace Scan
}  // namespace Tavrin
