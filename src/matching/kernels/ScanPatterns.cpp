#include "matching/kernels/ScanPatterns.h"

#include <cstring>

#include "matching/AsciiFold.h"

namespace Tavrin {
namespace scan {
namespace {

// True for the bytes that the fold joins with another byte (the ASCII
// letters): their other case is byte ^ 0x20.
constexpr bool IsFoldedLetter(unsigned char folded) {
  return FoldAsciiCase(static_cast<unsigned char>(folded ^ 0x20u)) == folded &&
         (folded ^ 0x20u) != folded;
}

// The bit that, set in a text byte t, makes it equal to the folded row byte
// `folded` exactly when FoldAsciiCase(t) == folded.
constexpr unsigned char FoldBit(unsigned char folded) {
  return IsFoldedLetter(folded) ? 0x20u : 0u;
}

// Roughly how often a byte occurs in the texts hosts screen, in percent of
// the bytes of an English or a GBK text. Only the proportions matter: they
// steer which rows share a bucket so that common text makes few candidates.
// Any weights give correct results.
double ByteWeight(unsigned v) {
  // a .. z in English prose.
  static const double kLetters[26] = {
      6.5, 1.2, 2.2, 3.4, 10.2, 1.8, 1.6, 4.9, 5.6, 0.1, 0.6, 3.2, 1.9,
      5.4, 6.0, 1.5, 0.1, 4.8, 5.1, 7.3, 2.2, 0.8, 1.9, 0.1, 1.6, 0.1};
  if (v >= 'a' && v <= 'z') return kLetters[v - 'a'];
  if (v >= 'A' && v <= 'Z') return kLetters[v - 'A'] / 20.0;
  if (v == ' ') return 18.0;
  if (v >= 0x80) return 1.0;
  if (v < 0x20) return 0.01;
  return 0.3;
}

constexpr std::size_t kMaxPositions = kWindowLength;

// The nibble sets of one bucket (or one row) at each filter position.
struct NibbleSets {
  std::uint16_t low[kMaxPositions];
  std::uint16_t high[kMaxPositions];
};

NibbleSets Merge(const NibbleSets& a, const NibbleSets& b) {
  NibbleSets m;
  for (std::size_t k = 0; k < kMaxPositions; ++k) {
    m.low[k] = static_cast<std::uint16_t>(a.low[k] | b.low[k]);
    m.high[k] = static_cast<std::uint16_t>(a.high[k] | b.high[k]);
  }
  return m;
}

// Up to a constant factor, the share of windows of common text that pass a
// bucket: the product over positions of the weight of the bytes accepted
// there (bytes taken as independent).
// `low_sums[h][m]`: the weight of the bytes with high nibble h and a low
// nibble in the set m, for m < 256 (low nibbles 0-7) and, at m + 256, for
// the set m << 8 (low nibbles 8-15).
struct WeightSums {
  WeightSums() {
    for (unsigned high = 0; high < 16; ++high) {
      for (unsigned m = 0; m < 256; ++m) {
        float below = 0.0f, above = 0.0f;
        for (unsigned low = 0; low < 8; ++low) {
          if ((m >> low & 1u) == 0) continue;
          below += static_cast<float>(ByteWeight(high << 4 | low));
          above += static_cast<float>(ByteWeight(high << 4 | (low + 8)));
        }
        low_sums[high][m] = below;
        low_sums[high][m + 256] = above;
      }
    }
  }
  float low_sums[16][512];
};

float PassWeight(const WeightSums& sums, const NibbleSets& s,
                 std::size_t positions) {
  float product = 1.0f;
  for (std::size_t k = 0; k < positions; ++k) {
    float sum = 0.0f;
    for (unsigned high = 0; high < 16; ++high) {
      if ((s.high[k] >> high & 1u) == 0) continue;
      sum += sums.low_sums[high][s.low[k] & 0xFFu] +
             sums.low_sums[high][256 + (s.low[k] >> 8)];
    }
    product *= sum / 100.0f;
  }
  return product;
}

// The nibble sets of the last `positions` bytes of `row`, its last byte at
// the last position; positions before a shorter row accept any byte.
NibbleSets NibblesOf(const ScanRow& row, std::size_t positions) {
  NibbleSets s{};
  for (std::size_t k = 0; k < positions; ++k) {
    if (row.length + k < positions) {
      s.low[k] = s.high[k] = 0xFFFFu;
      continue;
    }
    // Both cases of a letter: the text is looked up unfolded.
    const unsigned char byte = row.bytes[row.length + k - positions];
    const unsigned c = byte;
    const unsigned other = c ^ FoldBit(byte);
    s.low[k] = static_cast<std::uint16_t>(1u << (c & 15u) | 1u << (other & 15u));
    s.high[k] = static_cast<std::uint16_t>(1u << (c >> 4) | 1u << (other >> 4));
  }
  return s;
}

void FillRow(const NoCaseString& word, ScanRow& row) {
  std::memset(&row, 0, sizeof row);
  unsigned char fold_bits[kMaxRowLength] = {};
  unsigned char mask[kMaxRowLength] = {};
  unsigned char tail[kMaxRowLength] = {};
  unsigned char tail_fold_bits[kMaxRowLength] = {};
  unsigned char tail_mask[kMaxRowLength] = {};
  // Table rows are 2 to 10 bytes. Were one ever longer than the row words,
  // its first bytes alone would be matched: more texts banned, none missed.
  row.length = word.size();
  if (row.length > kMaxRowLength) row.length = kMaxRowLength;
  for (std::size_t i = 0; i < row.length; ++i) {
    const unsigned char c = FoldAsciiCase(static_cast<unsigned char>(word.data()[i]));
    row.bytes[i] = c;
    fold_bits[i] = FoldBit(c);
    mask[i] = 0xFFu;
    const std::size_t j = kMaxRowLength - row.length + i;
    tail[j] = c;
    tail_fold_bits[j] = FoldBit(c);
    tail_mask[j] = 0xFFu;
  }
  std::memcpy(row.value, row.bytes, sizeof row.value);
  std::memcpy(row.fold_bits, fold_bits, sizeof row.fold_bits);
  std::memcpy(row.mask, mask, sizeof row.mask);
  std::memcpy(row.tail_value, tail, sizeof row.tail_value);
  std::memcpy(row.tail_fold_bits, tail_fold_bits, sizeof row.tail_fold_bits);
  std::memcpy(row.tail_mask, tail_mask, sizeof row.tail_mask);
}

bool Holds(const ScanRow& outer, const ScanRow& inner) {
  for (std::size_t at = 0; at + inner.length <= outer.length; ++at)
    if (std::memcmp(outer.bytes + at, inner.bytes, inner.length) == 0)
      return true;
  return false;
}

// Groups `count` rows, given by their nibble sets over `positions`
// positions, into kBucketCount buckets: starting from one group per
// distinct set, repeatedly merges the two groups whose union lets the least
// extra common text through. Writes each row's bucket and each bucket's sets.
void AssignBuckets(const WeightSums& sums, const NibbleSets* sets,
                   std::size_t count, std::size_t positions,
                   std::uint8_t* bucket_of_row, NibbleSets* buckets) {
  NibbleSets groups[kBannedWordCount];
  float weight[kBannedWordCount];
  bool alive[kBannedWordCount];
  std::uint8_t group_of_row[kBannedWordCount];
  std::size_t group_count = 0;
  for (std::size_t r = 0; r < count; ++r) {
    std::size_t g = 0;
    while (g < group_count &&
           std::memcmp(&groups[g], &sets[r], sizeof sets[r]) != 0)
      ++g;
    if (g == group_count) {
      groups[g] = sets[r];
      weight[g] = PassWeight(sums, sets[r], positions);
      alive[g] = true;
      ++group_count;
    }
    group_of_row[r] = static_cast<std::uint8_t>(g);
  }
  // merged[i][j], i < j, caches the weight of the union of groups i and j.
  float merged[kBannedWordCount][kBannedWordCount];
  for (std::size_t i = 0; i < group_count; ++i)
    for (std::size_t j = i + 1; j < group_count; ++j)
      merged[i][j] = PassWeight(sums, Merge(groups[i], groups[j]), positions);
  for (std::size_t live = group_count; live > kBucketCount; --live) {
    std::size_t best_i = 0, best_j = 0;
    float best = 0.0f;
    bool found = false;
    for (std::size_t i = 0; i < group_count; ++i) {
      if (!alive[i]) continue;
      for (std::size_t j = i + 1; j < group_count; ++j) {
        if (!alive[j]) continue;
        const float extra = merged[i][j] - weight[i] - weight[j];
        if (!found || extra < best) {
          best = extra;
          best_i = i;
          best_j = j;
          found = true;
        }
      }
    }
    groups[best_i] = Merge(groups[best_i], groups[best_j]);
    weight[best_i] = merged[best_i][best_j];
    alive[best_j] = false;
    for (std::size_t r = 0; r < count; ++r)
      if (group_of_row[r] == best_j)
        group_of_row[r] = static_cast<std::uint8_t>(best_i);
    for (std::size_t k = 0; k < group_count; ++k) {
      if (!alive[k] || k == best_i) continue;
      const std::size_t i = k < best_i ? k : best_i;
      const std::size_t j = k < best_i ? best_i : k;
      merged[i][j] = PassWeight(sums, Merge(groups[i], groups[j]), positions);
    }
  }
  std::uint8_t bucket_of_group[kBannedWordCount];
  std::size_t next = 0;
  for (std::size_t g = 0; g < group_count; ++g) {
    if (!alive[g]) continue;
    buckets[next] = groups[g];
    bucket_of_group[g] = static_cast<std::uint8_t>(next++);
  }
  for (std::size_t b = next; b < kBucketCount; ++b) buckets[b] = NibbleSets{};
  for (std::size_t r = 0; r < count; ++r)
    bucket_of_row[r] = bucket_of_group[group_of_row[r]];
}

// Fills one nibble-table filter with the rows `members` (indices into
// patterns.rows), each by its last kPositions bytes.
template <std::size_t kPositions>
void FillFilter(const WeightSums& sums, const ScanPatterns& patterns,
                const std::uint8_t* members, std::size_t member_count,
                NibbleTables<kPositions>& tables) {
  NibbleSets sets[kBannedWordCount];
  for (std::size_t i = 0; i < member_count; ++i)
    sets[i] = NibblesOf(patterns.rows[members[i]], kPositions);
  std::uint8_t bucket_of_member[kBannedWordCount];
  NibbleSets buckets[kBucketCount];
  AssignBuckets(sums, sets, member_count, kPositions, bucket_of_member,
                buckets);
  for (std::size_t b = 0; b < kBucketCount; ++b) {
    for (std::size_t k = 0; k < kPositions; ++k) {
      for (unsigned i = 0; i < 16 * kTableCopies; ++i) {
        if (buckets[b].low[k] >> (i % 16) & 1u)
          tables.low[k][i] |= static_cast<unsigned char>(1u << b);
        if (buckets[b].high[k] >> (i % 16) & 1u)
          tables.high[k][i] |= static_cast<unsigned char>(1u << b);
      }
    }
  }
}

// Whether `row` occurs at text[start ..], for start < length.
inline bool RowAt(const ScanRow& row, const unsigned char* text,
                  std::size_t length, std::size_t start) {
  const std::size_t left = length - start;
  if (left >= kMaxRowLength) {
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

inline unsigned LowestBit(std::uint64_t bits) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctzll(bits));
#else
  unsigned i = 0;
  while ((bits >> i & 1u) == 0) ++i;
  return i;
#endif
}

}  // namespace

void BuildScanPatterns(const BannedWordList& list,
                       ScanPatterns& patterns) noexcept {
  static_assert(kBannedWordCount <= 64, "a set of rows is a 64-bit word");
  std::memset(&patterns, 0, sizeof patterns);

  // The rows that decide: without duplicates ("sex" is in the list twice)
  // and without rows that hold another row, which can only match where the
  // row they hold matches too.
  const std::size_t words = list.size();
  ScanRow all[kBannedWordCount];
  for (std::size_t i = 0; i < words; ++i) FillRow(list[i], all[i]);
  ScanRow deciding[kBannedWordCount];
  std::size_t count = 0;
  for (std::size_t i = 0; i < words; ++i) {
    bool needed = true;
    for (std::size_t j = 0; j < words && needed; ++j) {
      if (j == i) continue;
      const bool same = all[j].length == all[i].length && Holds(all[i], all[j]);
      // Of equal rows the first is kept; a row holding a shorter one goes.
      needed = !(same ? j < i : Holds(all[i], all[j]));
    }
    if (needed) deciding[count++] = all[i];
  }

  for (std::size_t i = 0; i < count; ++i) patterns.rows[i] = deciding[i];
  const std::size_t n = patterns.row_count = count;

  // The nibble-table filters: 2-byte rows whole, longer rows by their last
  // kWindowLength bytes.
  std::uint8_t pair_rows[kBannedWordCount], window_rows[kBannedWordCount];
  std::size_t pair_count = 0, window_count = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (patterns.rows[i].length == 2)
      pair_rows[pair_count++] = static_cast<std::uint8_t>(i);
    else
      window_rows[window_count++] = static_cast<std::uint8_t>(i);
  }
  // Built once, by the one thread that builds the patterns.
  static WeightSums sums;
  FillFilter(sums, patterns, pair_rows, pair_count, patterns.pairs);
  FillFilter(sums, patterns, window_rows, window_count, patterns.windows);
  FillFilter(sums, patterns, window_rows, window_count, patterns.ends);

  for (std::size_t r = 0; r < n; ++r) {
    const ScanRow& row = patterns.rows[r];
    for (std::size_t k = 0; k < 3; ++k)
      for (unsigned b = 0; b < 256; ++b)
        if (k >= row.length || row.bytes[row.length - 1 - k] == b)
          patterns.rows_ending_with[k][b] |= std::uint64_t{1} << r;
  }
}

namespace {

// Whether `row` ends on the last byte of the 16 bytes `window`.
inline bool RowEndsWindow(const ScanRow& row, const std::uint64_t* window) {
  return ((((window[0] | row.tail_fold_bits[0]) & row.tail_mask[0]) ^
           row.tail_value[0]) |
          (((window[1] | row.tail_fold_bits[1]) & row.tail_mask[1]) ^
           row.tail_value[1])) == 0;
}

}  // namespace

bool RowsEndAt(const ScanPatterns& patterns, std::uint64_t rows,
               const unsigned char* text, std::size_t length,
               std::size_t end) noexcept {
  if (end + 1 >= kMaxRowLength) {
    // The 16 bytes ending on text[end], against each row's tail words.
    std::uint64_t window[2];
    std::memcpy(window, text + end + 1 - kMaxRowLength, sizeof window);
    bool found = false;
    for (; rows != 0; rows &= rows - 1)
      found |= RowEndsWindow(patterns.rows[LowestBit(rows)], window);
    return found;
  }
  // Near the text's start.
  for (; rows != 0; rows &= rows - 1) {
    const ScanRow& row = patterns.rows[LowestBit(rows)];
    if (end + 1 >= row.length && RowAt(row, text, length, end + 1 - row.length))
      return true;
  }
  return false;
}

bool AnyRowEndsInLanes(const ScanPatterns& patterns, const unsigned char* text,
                       std::size_t length, std::ptrdiff_t base,
                       std::uint64_t lanes) noexcept {
  for (; lanes != 0; lanes &= lanes - 1) {
    const std::ptrdiff_t signed_end =
        base + static_cast<std::ptrdiff_t>(LowestBit(lanes)) +
        static_cast<std::ptrdiff_t>(kWindowLength) - 1;
    if (signed_end < 0 || static_cast<std::size_t>(signed_end) >= length)
      continue;
    const std::size_t end = static_cast<std::size_t>(signed_end);
    // The rows whose last bytes are the text's last bytes up to `end`.
    std::uint64_t rows = patterns.rows_ending_with[0][FoldAsciiCase(text[end])];
    if (end >= 1)
      rows &= patterns.rows_ending_with[1][FoldAsciiCase(text[end - 1])];
    if (end >= 2)
      rows &= patterns.rows_ending_with[2][FoldAsciiCase(text[end - 2])];
    if (rows != 0 && RowsEndAt(patterns, rows, text, length, end)) return true;
  }
  return false;
}

}  // namespace scan
}  // namespace Tavrin
