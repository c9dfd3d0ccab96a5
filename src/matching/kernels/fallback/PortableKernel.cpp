// The kernel for any processor. At each byte of the text it narrows the rows
// to those whose last three bytes are the text's, by three lookups of the
// folded bytes in rows_ending_with (a shift-and over sets of rows), and
// compares the few left, usually none.
#include "matching/AsciiFold.h"
#include "matching/kernels/ExactCheck.h"
#include "matching/kernels/Kernels.h"

namespace Tavrin {
namespace Scan {

std::size_t ScanPortable(const ScanTables& tables, const unsigned char* text,
                         std::size_t length) noexcept {
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
    const std::uint64_t rows = ending_with[0][current] & one_back & two_back;
    if (rows != 0 && RowsEndAt(tables, rows, text, length, end)) return end + 1;
    two_back = ending_with[2][previous];
    one_back = ending_with[1][current];
    previous = current;
  }
  return 0;
}

}  // namespace Scan
}  // namespace Tavrin
