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
// whose last three bytes are the text's there; at_rows returns the next end
// to look at (end + 1, or further on), length or more to stop.
template <typename AtRows>
void NarrowEveryByte(const ScanTables& tables, const unsigned char* text,
                     std::size_t length, AtRows at_rows) {
  const std::uint64_t(&ending_with)[3][256] = tables.rows_ending_with;
  std::size_t end = 1;
  while (end < length) {
    // For the byte at `end`: the rows its previous byte allows as its row's
    // second-to-last byte (one_back) and the byte before that as the
    // third-to-last (two_back); every row where the text has no such byte.
    unsigned previous = FoldAsciiCase(text[end - 1]);
    std::uint64_t one_back = ending_with[1][previous];
    std::uint64_t two_back =
        end >= 2 ? ending_with[2][FoldAsciiCase(text[end - 2])] : ~std::uint64_t{0};
    for (; end < length; ++end) {
      const unsigned current = FoldAsciiCase(text[end]);
      const std::size_t next = at_rows(end, ending_with[0][current] & one_back & two_back);
      if (next != end + 1) {
        end = next;
        break;
      }
      two_back = ending_with[2][previous];
      one_back = ending_with[1][current];
      previous = current;
    }
  }
}

}  // namespace

std::size_t ScanPortable(const ScanTables& tables, const unsigned char* text,
                         std::size_t length) noexcept {
  std::size_t first = 0;
  NarrowEveryByte(tables, text, length, [&](std::size_t end, std::uint64_t ending) {
    if (ending == 0 || !RowsEndAt(tables, ending, text, length, end)) return end + 1;
    first = end + 1;
    return length;
  });
  return first;
}

void VisitPortable(const ScanTables& tables, const unsigned char* text, std::size_t length,
                   RowVisitor rows) noexcept {
  NarrowEveryByte(tables, text, length, [&](std::size_t end, std::uint64_t ending) {
    if (ending == 0 || !RowsEndAt(tables, ending, text, length, end)) return end + 1;
    // The visitor goes on from a byte after this row's last (text[end]).
    const std::size_t from = rows.visit(rows.context, end + 1);
    return from > end + 1 ? from : end + 1;
  });
}

// The portable kernel has no filter before the narrowing: each byte is a
// candidate, and the narrowed ones are those with a row to compare.
void CountPortable(const ScanTables& tables, const unsigned char* text,
                   std::size_t length, FilterCounts& counts) noexcept {
  NarrowEveryByte(tables, text, length, [&counts](std::size_t end, std::uint64_t rows) {
    ++counts.candidates;
    counts.narrowed += rows != 0;
    return end + 1;
  });
}

}  // namespace Scan
}  // namespace Tavrin
