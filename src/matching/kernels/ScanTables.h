// The tables every scan kernel reads, compiled once from the word list by
// BuildScanTables (ScanTableBuild.cpp) and then only read: the rows in the
// form the exact check compares (ExactCheck.h), the nibble tables of the
// vector filters, and the narrowing tables. How the filters work and why no
// match is missed: DESIGN.md beside this file.
#ifndef TAVRIN_MATCHING_KERNELS_SCANTABLES_H_
#define TAVRIN_MATCHING_KERNELS_SCANTABLES_H_

#include <cstddef>
#include <cstdint>

#include "matching/BannedWordTable.h"

namespace Tavrin {
namespace Scan {

// The exact check compares a row with the text as two 64-bit words: the
// ExactCheckWidth bytes that start, or end, where the row does.
constexpr std::size_t kExactCheckWidth = 16;
static_assert(kLongestBannedWord <= kExactCheckWidth,
              "every row fits in the words of the exact check");

// A window: the kSuffixLength text bytes that end where a row would end. The
// vector filters look at a window's last bytes, at most all of them, for
// the last bytes of each row (all of a shorter row).
constexpr std::size_t kSuffixLength = 5;
// Buckets of each nibble-table filter: one bit of a table byte each.
constexpr std::size_t kBucketCount = 8;
// Each 16-byte nibble table is stored four times over, so that the 32- and
// 64-byte kernels load it as it is, already repeated in every 16-byte lane.
constexpr std::size_t kTableCopies = 4;

// One row, folded, with the words that test it in one go against 16 text
// bytes: text bytes t match when ((t | fold_bits) & mask) == value. fold_bits
// holds 0x20 exactly where the row has an ASCII letter (see DESIGN.md for why
// this equals comparing FoldAsciiCase of each byte).
struct ScanRow {
  // The row at the start of the 16 bytes, for a check from its first byte.
  std::uint64_t value[2];
  std::uint64_t fold_bits[2];
  std::uint64_t mask[2];
  // The row at the end of the 16 bytes, for a check from its last byte.
  std::uint64_t tail_value[2];
  std::uint64_t tail_fold_bits[2];
  std::uint64_t tail_mask[2];
  unsigned char bytes[kExactCheckWidth];  // folded, zero padded
  std::size_t length;
};

// Where each filter's tables lie in ScanTables::nibble. A filter that looks
// at `positions` bytes has, for byte k of its window (k = 0 the first), a
// table by low nibble at slot first + 2 k and one by high nibble at slot
// first + 2 k + 1. Byte k of a window can belong to a row of bucket b only
// if bit b is set in both tables' entries for its nibbles. Both cases of a
// letter are entered, so the text is looked up as it is, unfolded.
struct NibbleFilterSlots {
  std::size_t first;
  std::size_t positions;
  constexpr std::size_t Low(std::size_t k) const { return first + 2 * k; }
  constexpr std::size_t High(std::size_t k) const { return first + 2 * k + 1; }
  constexpr std::size_t End() const { return first + 2 * positions; }
};
// The 2-byte rows, one row a bucket, which makes the filter exact.
constexpr NibbleFilterSlots kTwoByteRowSlots{0, 2};
// The longer rows by their last kSuffixLength bytes, routed by the class of
// a window's last byte: bucket bit b stands for the b-th bucket of the rows
// that end in a byte of 0x80 or more (GBK) where the window's last byte is
// one, and for the b-th bucket of the rows that end in an ASCII byte where
// it is ASCII. Only the last position's high-nibble table tells the two
// apart (a high nibble of 8 or more is a byte of 0x80 or more); at every
// other position a table entry holds both buckets' bits.
constexpr NibbleFilterSlots kRoutedSlots{kTwoByteRowSlots.End(), kSuffixLength};
// The longer rows' last two bytes alone, bucketed afresh and routed the same
// way. A window passes the routed filter only if its last two bytes also
// pass this one: bucket unions there would otherwise let "a row less its
// last byte" through with almost any byte after it.
constexpr NibbleFilterSlots kEndPairSlots{kRoutedSlots.End(), 2};
// For runs of text with no ASCII byte: the rows that end in a byte of 0x80
// or more, 2-byte rows among them, by their last kHighRunPositions bytes.
constexpr std::size_t kHighRunPositions = 3;
constexpr NibbleFilterSlots kHighRunSlots{kEndPairSlots.End(), kHighRunPositions};
constexpr std::size_t kNibbleTableCount = kHighRunSlots.End();

struct ScanTables {
  // The rows that decide a verdict: the list's rows without duplicates and
  // without rows that hold another row (a text that holds "fuck you" holds
  // "fuck").
  ScanRow rows[kBannedWordCount];
  std::size_t row_count;

  // The nibble tables of the vector filters (slots above).
  alignas(64) unsigned char nibble[kNibbleTableCount][16 * kTableCopies];

  // The high-run filter's tables by whole byte, for kernels that look up a
  // byte in a 128-entry table (AVX-512 VBMI): entry x of position k is what
  // the nibble tables of kHighRunSlots give the byte 0x80 | x, the AND of
  // its low- and high-nibble entries. The filter reads only bytes of 0x80
  // or more, so it gives the same buckets either way.
  alignas(64) unsigned char high_run_bytes[kHighRunPositions][128];

  // Bit r of rows_ending_with[k][b]: rows[r] may end on a text byte whose
  // k-th byte back (0: itself) folds to b; set for every b when the row is
  // too short to reach that far back. A candidate's rows are narrowed with
  // these to the few that can end there before any is compared; the
  // portable kernel narrows every byte of the text this way.
  std::uint64_t rows_ending_with[3][256];
};

// Fills `tables` from `count` (at most kBannedWordCount) zero-terminated rows
// of 2 to kLongestBannedWord bytes: the library's first call passes
// BannedWordTable. Allocates nothing, cannot fail, and uses little stack: its
// work space is static, so one call runs at a time (the library's setup runs
// it once, under its lock).
void BuildScanTables(const char* const* rows, std::size_t count,
                     ScanTables& tables) noexcept;

}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_SCANTABLES_H_
