// The tables every scan kernel reads, compiled once from BannedWordTable, and
// the exact check of candidate positions that all kernels share. How the
// tables filter and why no match is missed: DESIGN.md beside this file.
#ifndef TAVRIN_MATCHING_KERNELS_SCANPATTERNS_H_
#define TAVRIN_MATCHING_KERNELS_SCANPATTERNS_H_

#include <cstddef>
#include <cstdint>

#include "matching/BannedWordTable.h"
#include "matching/WordList.h"

namespace Tavrin {
namespace scan {

// Every row is at most this long; a candidate is checked against 16 bytes.
constexpr std::size_t kMaxRowLength = 16;
// Bytes the nibble-table filters look at for a row: its last kWindowLength
// bytes (all of a shorter row), lined up so that the row's last byte is the
// window's last byte.
constexpr std::size_t kWindowLength = 5;
// Buckets of each nibble-table filter: one bit of a byte each.
constexpr std::size_t kBucketCount = 8;

// One row, folded, with the words that test it in one go against 16 text
// bytes: text bytes t match when ((t | fold_bits) & mask) == value. fold_bits
// holds 0x20 exactly where the row has an ASCII letter (see DESIGN.md for why
// this equals comparing FoldAsciiCase of each byte).
struct ScanRow {
  // The row at the start of 16 bytes.
  std::uint64_t value[2];
  std::uint64_t fold_bits[2];
  std::uint64_t mask[2];
  // The row at the end of 16 bytes, for a check from its last byte back.
  std::uint64_t tail_value[2];
  std::uint64_t tail_fold_bits[2];
  std::uint64_t tail_mask[2];
  unsigned char bytes[kMaxRowLength];  // folded, zero padded
  std::size_t length;
};

// Nibble tables of one filter: byte k of a window can belong to a row of
// bucket b only if bit b is set in both low[k][byte & 15] and
// high[k][byte >> 4]. Both cases of a letter are entered, so text is looked
// up as it is, unfolded.
// Each 16-byte table is stored four times over, so that the 32- and 64-byte
// kernels load it as it is, already repeated in every 16-byte lane.
constexpr std::size_t kTableCopies = 4;

template <std::size_t kPositions>
struct NibbleTables {
  alignas(64) unsigned char low[kPositions][16 * kTableCopies];
  alignas(64) unsigned char high[kPositions][16 * kTableCopies];
};

struct ScanPatterns {
  // The rows that decide a verdict: the table's rows without duplicates and
  // without rows that hold another row (a text that holds "fuck you" holds
  // "fuck").
  ScanRow rows[kBannedWordCount];
  std::size_t row_count;

  // SSSE3, AVX2 and AVX-512 kernels. A lane stands for the window of
  // kWindowLength bytes from its offset on, and is a candidate when a row of
  // some bucket may end on the window's last byte. Rows of 2 bytes are
  // looked up by that byte and the one before it (pairs: one row a bucket,
  // which makes the lookup exact); longer rows by their last kWindowLength
  // bytes, fewer for shorter rows (windows: wildcards in front).
  NibbleTables<2> pairs;
  NibbleTables<kWindowLength> windows;
  // The last two bytes alone of the rows in `windows`, bucketed afresh so
  // that each bucket's nibble sets hold few pairs besides its own: a window
  // lane passes only if its last two bytes may end such a row too. This
  // keeps the bucket unions of `windows` from letting a row less its last
  // byte through with almost any byte after it.
  NibbleTables<2> ends;
  // Bit r of rows_ending_with[k][b]: rows[r] may end on a text byte whose
  // k-th byte back (0: itself) folds to b; set for every b when the row is
  // too short to reach that far back. A candidate lane's rows are narrowed
  // with these to the few that can end there before any is compared; the
  // portable kernel narrows every byte of the text this way.
  std::uint64_t rows_ending_with[3][256];
};

// Fills `patterns` from the entries of `list`. Allocates nothing and cannot
// fail.
void BuildScanPatterns(const BannedWordList& list,
                       ScanPatterns& patterns) noexcept;

// Whether one of the rows in `rows` (bit r: rows[r]) ends on text[end],
// end < length. Reads only text[0 .. length).
bool RowsEndAt(const ScanPatterns& patterns, std::uint64_t rows,
               const unsigned char* text, std::size_t length,
               std::size_t end) noexcept;

// The exact check behind the nibble-table filters: whether a row ends on
// text[base + i + kWindowLength - 1] for some bit i set in `lanes`. Rows
// that would begin before the text or end after it are skipped. Reads only
// text[0 .. length).
bool AnyRowEndsInLanes(const ScanPatterns& patterns, const unsigned char* text,
                       std::size_t length, std::ptrdiff_t base,
                       std::uint64_t lanes) noexcept;

}  // namespace scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_SCANPATTERNS_H_
