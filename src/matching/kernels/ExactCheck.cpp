#include "matching/kernels/ExactCheck.h"

#include <cstring>

#include "matching/AsciiFold.h"

namespace Tavrin {
namespace Scan {
namespace {

inline unsigned LowestBit(std::uint64_t bits) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctzll(bits));
#else
  unsigned i = 0;
  while ((bits >> i & 1u) == 0) ++i;
  return i;
#endif
}

// Whether `row` occurs at text[start ..], for start < length.
inline bool RowStartsAt(const ScanRow& row, const unsigned char* text,
                  std::size_t length, std::size_t start) {
  const std::size_t left = length - start;
  if (left >= kExactCheckWidth) {
    std::uint64_t word[2];
    std::memcpy(word, text + start, sizeof word);
    return ((word[0] | row.fold_bits[0]) & row.mask[0]) == row.value[0] &&
           ((word[1] | row.fold_bits[1]) & row.mask[1]) == row.value[1];
  }
  // Near the end of the text: byte by byte, never past text[length - 1].
  if (row.length > left) return false;
  for (std::size_t i = 0; i < row.length; ++i)
    if (FoldAsciiCase(text[start + i]) != row.bytes[i]) return false;
  return true;
}

// Whether `row` ends on the last byte of the 16 bytes `window`.
inline bool RowEndsWindow(const ScanRow& row, const std::uint64_t* window) {
  return ((((window[0] | row.tail_fold_bits[0]) & row.tail_mask[0]) ^
           row.tail_value[0]) |
          (((window[1] | row.tail_fold_bits[1]) & row.tail_mask[1]) ^
           row.tail_value[1])) == 0;
}

}  // namespace

bool RowsEndAt(const ScanTables& tables, std::uint64_t rows,
               const unsigned char* text, std::size_t length,
               std::size_t end) noexcept {
  if (end + 1 >= kExactCheckWidth) {
    // The 16 bytes ending on text[end], against each row's tail words.
    std::uint64_t window[2];
    std::memcpy(window, text + end + 1 - kExactCheckWidth, sizeof window);
    bool found = false;
    for (; rows != 0; rows &= rows - 1)
      found |= RowEndsWindow(tables.rows[LowestBit(rows)], window);
    return found;
  }
  // Near the text's start.
  for (; rows != 0; rows &= rows - 1) {
    const ScanRow& row = tables.rows[LowestBit(rows)];
    if (end + 1 >= row.length &&
        RowStartsAt(row, text, length, end + 1 - row.length))
      return true;
  }
  return false;
}

namespace {

// The rows that may end on text[end], by its last three bytes there.
inline std::uint64_t RowsEndingWith(const ScanTables& tables, const unsigned char* text,
                                    std::size_t end) {
  std::uint64_t rows = tables.rows_ending_with[0][FoldAsciiCase(text[end])];
  if (end >= 1) rows &= tables.rows_ending_with[1][FoldAsciiCase(text[end - 1])];
  if (end >= 2) rows &= tables.rows_ending_with[2][FoldAsciiCase(text[end - 2])];
  return rows;
}

// Calls visit(end) for the end of each candidate window that lies in the
// text, in order, until it returns true.
template <typename Visit>
inline void ForEachCandidateEnd(std::size_t length, std::ptrdiff_t window_base,
                                std::uint64_t candidates, Visit visit) {
  for (; candidates != 0; candidates &= candidates - 1) {
    const std::ptrdiff_t signed_end =
        window_base + static_cast<std::ptrdiff_t>(LowestBit(candidates)) +
        static_cast<std::ptrdiff_t>(kSuffixLength) - 1;
    if (signed_end < 0 || static_cast<std::size_t>(signed_end) >= length)
      continue;
    if (visit(static_cast<std::size_t>(signed_end))) return;
  }
}

}  // namespace

std::size_t FirstRowEndInBlock(const ScanTables& tables,
                               const unsigned char* text, std::size_t length,
                               std::ptrdiff_t window_base,
                               std::uint64_t candidates) noexcept {
  std::size_t found = 0;
  ForEachCandidateEnd(length, window_base, candidates, [&](std::size_t end) {
    const std::uint64_t rows = RowsEndingWith(tables, text, end);
    if (rows != 0 && RowsEndAt(tables, rows, text, length, end)) found = end + 1;
    return found != 0;
  });
  return found;
}

std::size_t NarrowedCandidates(const ScanTables& tables, const unsigned char* text,
                               std::size_t length, std::ptrdiff_t window_base,
                               std::uint64_t candidates) noexcept {
  std::size_t narrowed = 0;
  ForEachCandidateEnd(length, window_base, candidates, [&](std::size_t end) {
    narrowed += RowsEndingWith(tables, text, end) != 0;
    return false;
  });
  return narrowed;
}

}  // namespace Scan
}  // namespace Tavrin
