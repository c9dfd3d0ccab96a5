// The tables every scan kernel reads, compiled once from BannedWordTable, and
// the exact check of a candidate position that all kernels share. How the
// tables filter and why no match is missed: DESIGN.md beside this file.
#ifndef TAVRIN_MATCHING_KERNELS_SCANPATTERNS_H_
#define TAVRIN_MATCHING_KERNELS_SCANPATTERNS_H_

#include <cstddef>
#include <cstdint>

#include "matching/BannedWordTable.h"

namespace Tavrin {
namespace scan {

// Every row is at most this long; a candidate is checked against 16 bytes.
constexpr std::size_t kMaxRowLength = 16;
// Bytes of each row that the vector filters look at (fewer for 2-byte rows).
constexpr std::size_t kFingerprintLength = 3;

// One distinct row, folded, with the words that test it in one go against 16
// text bytes: text bytes t match when ((t | fold_bits) & mask) == value.
// fold_bits holds 0x20 exactly where the row has an ASCII letter (see
// DESIGN.md for why this equals comparing FoldAsciiCase of each byte).
struct ScanRow {
  std::uint64_t value[2];
  std::uint64_t fold_bits[2];
  std::uint64_t mask[2];
  unsigned char bytes[kMaxRowLength];  // folded, zero padded
  std::size_t length;
};

struct ScanPatterns {
  // Distinct rows sorted by their first byte; the rows that can start with
  // folded byte b are rows[first_begin[b] .. first_end[b]).
  ScanRow rows[kBannedWordCount];
  std::size_t row_count;
  std::uint8_t first_begin[256];
  std::uint8_t first_end[256];

  // Portable kernel: bit (f0 << 8 | f1) is set when some row starts with the
  // folded bytes f0 f1.
  std::uint64_t pair_bits[65536 / 64];

  // SSSE3 and AVX2 kernels: nibble tables of the first kFingerprintLength
  // bytes of each row, eight buckets of rows, one bit per bucket. Byte k of a
  // window can begin a row of bucket b only if bit b is set in both
  // teddy_low[k][byte & 15] and teddy_high[k][byte >> 4]. Both cases of a
  // letter are entered, so the text is never folded before the lookup.
  alignas(16) unsigned char teddy_low[kFingerprintLength][16];
  alignas(16) unsigned char teddy_high[kFingerprintLength][16];

  // SSE2 kernel (no byte shuffle): the distinct folded first bytes of rows,
  // and for first byte pair_first[i] the second bytes
  // pair_second[pair_second_begin[i] .. pair_second_begin[i + 1]), each
  // with its fold bit (0x20 for a letter, as in ScanRow).
  unsigned char pair_first[kBannedWordCount];
  unsigned char pair_first_fold_bits[kBannedWordCount];
  std::size_t pair_first_count;
  std::uint8_t pair_second_begin[kBannedWordCount + 1];
  unsigned char pair_second[kBannedWordCount];
  unsigned char pair_second_fold_bits[kBannedWordCount];
};

// Fills `patterns` from BannedWordTable. Allocates nothing and cannot fail.
void BuildScanPatterns(ScanPatterns& patterns) noexcept;

// True when a row of `patterns` occurs in `text` at offset `at` exactly
// (ASCII case folded). Reads only text[at .. length); `at` < `length`.
bool RowMatchesAt(const ScanPatterns& patterns, const unsigned char* text,
                  std::size_t length, std::size_t at) noexcept;

// Checks the candidate offsets `base + i` for each bit i set in `lanes`.
bool AnyRowMatchesAt(const ScanPatterns& patterns, const unsigned char* text,
                     std::size_t length, std::size_t base,
                     std::uint32_t lanes) noexcept;

}  // namespace scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_SCANPATTERNS_H_
