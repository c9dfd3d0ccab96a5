// Compiles the word list into the scanner's tables (ScanTables.h): the
// deciding rows and their exact-check words, the nibble tables of the three
// vector filters, with the rows grouped into buckets so that common text
// lets few windows through, and the narrowing tables. Runs once, in the
// library's first call, which may come from a thread with a small stack: the
// work space, some 20 KiB, is static.
#include "matching/kernels/ScanTables.h"

#include <cstring>

#include "matching/AsciiFold.h"

namespace Tavrin {
namespace Scan {
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

constexpr std::size_t kMaxPositions = kSuffixLength;

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

void FillRow(const char* word, ScanRow& row) {
  std::memset(&row, 0, sizeof row);
  unsigned char fold_bits[kExactCheckWidth] = {};
  unsigned char mask[kExactCheckWidth] = {};
  unsigned char tail[kExactCheckWidth] = {};
  unsigned char tail_fold_bits[kExactCheckWidth] = {};
  unsigned char tail_mask[kExactCheckWidth] = {};
  // Rows are at most kLongestBannedWord bytes, which the exact check's
  // words hold (ScanTables.h asserts it).
  row.length = std::strlen(word);
  for (std::size_t i = 0; i < row.length; ++i) {
    const unsigned char c = FoldAsciiCase(static_cast<unsigned char>(word[i]));
    row.bytes[i] = c;
    fold_bits[i] = FoldBit(c);
    mask[i] = 0xFFu;
    const std::size_t j = kExactCheckWidth - row.length + i;
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
  // Static, as is all the larger work space here (see the file comment).
  static NibbleSets groups[kBannedWordCount];
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
  static float merged[kBannedWordCount][kBannedWordCount];
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

// The buckets of the rows `members` (indices into tables.rows), each by its
// last `positions` bytes; unused buckets accept nothing.
void BucketsOf(const WeightSums& sums, const ScanTables& tables,
               const std::uint8_t* members, std::size_t member_count,
               std::size_t positions, NibbleSets* buckets) {
  static NibbleSets sets[kBannedWordCount];
  for (std::size_t i = 0; i < member_count; ++i)
    sets[i] = NibblesOf(tables.rows[members[i]], positions);
  std::uint8_t bucket_of_member[kBannedWordCount];
  AssignBuckets(sums, sets, member_count, positions, bucket_of_member, buckets);
}

// Sets bit `bit` in the nibble tables of `slots` wherever `bucket` accepts
// a nibble; at the last position, by high nibble only where `keep_high`
// says (bit h: high nibble h), so that the bit routes by the class of the
// window's last byte.
void EnterBucket(const NibbleSets& bucket, unsigned bit, NibbleFilterSlots slots,
                 std::uint16_t keep_high, ScanTables& tables) {
  for (std::size_t k = 0; k < slots.positions; ++k) {
    unsigned char* const low = tables.nibble[slots.Low(k)];
    unsigned char* const high = tables.nibble[slots.High(k)];
    const std::uint16_t highs =
        k + 1 == slots.positions ? bucket.high[k] & keep_high : bucket.high[k];
    for (unsigned i = 0; i < 16 * kTableCopies; ++i) {
      if (bucket.low[k] >> (i % 16) & 1u) low[i] |= static_cast<unsigned char>(1u << bit);
      if (highs >> (i % 16) & 1u) high[i] |= static_cast<unsigned char>(1u << bit);
    }
  }
}

constexpr std::uint16_t kAnyHigh = 0xFFFFu;
// High nibbles 8-15: the bytes 0x80-0xFF; 0-7: ASCII.
constexpr std::uint16_t kHighBytes = 0xFF00u;
constexpr std::uint16_t kAsciiBytes = 0x00FFu;

// Fills the nibble tables of one filter with the rows `members`, each by
// its last slots.positions bytes, in clustered buckets.
void FillFilter(const WeightSums& sums, const std::uint8_t* members,
                std::size_t member_count, NibbleFilterSlots slots,
                ScanTables& tables) {
  NibbleSets buckets[kBucketCount];
  BucketsOf(sums, tables, members, member_count, slots.positions, buckets);
  for (unsigned b = 0; b < kBucketCount; ++b)
    EnterBucket(buckets[b], b, slots, kAnyHigh, tables);
}

// Up to a constant factor, the share of common text that passes bit b of
// the routed filter beyond what its two buckets alone let through, when
// `high_bucket` and `ascii_bucket` share it: at every position but the last
// a window may meet either bucket's bytes.
float SharingCost(const WeightSums& sums, const NibbleSets& high_bucket,
                  const NibbleSets& ascii_bucket, std::size_t positions) {
  NibbleSets both = Merge(high_bucket, ascii_bucket);
  NibbleSets ending_high = both, ending_ascii = both;
  ending_high.high[positions - 1] = high_bucket.high[positions - 1];
  ending_ascii.high[positions - 1] = ascii_bucket.high[positions - 1];
  return PassWeight(sums, ending_high, positions) +
         PassWeight(sums, ending_ascii, positions) -
         PassWeight(sums, high_bucket, positions) -
         PassWeight(sums, ascii_bucket, positions);
}

// Fills the routed filter's tables (kRoutedSlots): the rows that end in a
// byte of 0x80 or more and those that end in an ASCII byte are bucketed
// apart, and each bucket of the one kind shares a bit with the bucket of the
// other kind that adds least to what passes, over all 8! ways of pairing
// them (the costs of the bits add up, so the best pairing of each set of
// buckets is built from the best of its subsets).
void FillRoutedFilter(const WeightSums& sums, const std::uint8_t* high_rows,
                      std::size_t high_count, const std::uint8_t* ascii_rows,
                      std::size_t ascii_count, NibbleFilterSlots slots,
                      ScanTables& tables) {
  NibbleSets high[kBucketCount], ascii[kBucketCount];
  BucketsOf(sums, tables, high_rows, high_count, slots.positions, high);
  BucketsOf(sums, tables, ascii_rows, ascii_count, slots.positions, ascii);
  float cost[kBucketCount][kBucketCount];
  for (std::size_t h = 0; h < kBucketCount; ++h)
    for (std::size_t a = 0; a < kBucketCount; ++a)
      cost[h][a] = SharingCost(sums, high[h], ascii[a], slots.positions);
  // The cheapest pairing, over the sets of ASCII buckets taken: least[m] is
  // the least cost of pairing the first popcount(m) high buckets with the
  // ASCII buckets in m, last[m] the ASCII bucket the last of them took.
  constexpr unsigned kSets = 1u << kBucketCount;
  float least[kSets];
  std::uint8_t last[kSets];
  least[0] = 0.0f;
  for (unsigned m = 1; m < kSets; ++m) {
    unsigned taken = 0;
    for (unsigned a = 0; a < kBucketCount; ++a) taken += m >> a & 1u;
    least[m] = -1.0f;
    for (unsigned a = 0; a < kBucketCount; ++a) {
      if ((m >> a & 1u) == 0) continue;
      const float c = least[m & ~(1u << a)] + cost[taken - 1][a];
      if (least[m] < 0.0f || c < least[m]) {
        least[m] = c;
        last[m] = static_cast<std::uint8_t>(a);
      }
    }
  }
  std::uint8_t best[kBucketCount];
  for (unsigned m = kSets - 1, h = kBucketCount; h-- > 0; m &= ~(1u << last[m]))
    best[h] = last[m];
  for (unsigned b = 0; b < kBucketCount; ++b) {
    EnterBucket(high[b], b, slots, kHighBytes, tables);
    EnterBucket(ascii[best[b]], b, slots, kAsciiBytes, tables);
  }
}

}  // namespace

void BuildScanTables(const char* const* rows, std::size_t row_count,
                     ScanTables& tables) noexcept {
  static_assert(kBannedWordCount <= 64, "a set of rows is a 64-bit word");
  std::memset(&tables, 0, sizeof tables);

  // The rows that decide: without duplicates ("sex" is in the list twice)
  // and without rows that hold another row, which can only match where the
  // row they hold matches too.
  const std::size_t words =
      row_count < kBannedWordCount ? row_count : kBannedWordCount;
  static ScanRow all[kBannedWordCount];
  for (std::size_t i = 0; i < words; ++i) FillRow(rows[i], all[i]);
  static ScanRow deciding[kBannedWordCount];
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

  for (std::size_t i = 0; i < count; ++i) tables.rows[i] = deciding[i];
  const std::size_t n = tables.row_count = count;

  // The nibble-table filters: 2-byte rows whole; longer rows by their last
  // kSuffixLength bytes and, apart, by their last two, both routed by the
  // class of their last byte; and, for
  // runs of text without ASCII, the rows that can end there by their last
  // kHighRunPositions bytes (not those with an ASCII byte among them).
  std::uint8_t two_byte_rows[kBannedWordCount], high_rows[kBannedWordCount],
      ascii_rows[kBannedWordCount], high_run_rows[kBannedWordCount];
  std::size_t two_byte_count = 0, high_count = 0, ascii_count = 0, high_run_count = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const ScanRow& row = tables.rows[i];
    const auto index = static_cast<std::uint8_t>(i);
    const bool ends_high = row.bytes[row.length - 1] >= 0x80;
    if (row.length == 2) {
      two_byte_rows[two_byte_count++] = index;
    } else if (ends_high) {
      high_rows[high_count++] = index;
    } else {
      ascii_rows[ascii_count++] = index;
    }
    bool high_ending = ends_high;
    for (std::size_t k = 1; k <= kHighRunPositions && k <= row.length; ++k)
      high_ending = high_ending && row.bytes[row.length - k] >= 0x80;
    if (high_ending) high_run_rows[high_run_count++] = index;
  }
  // Built once, by the one thread that builds the tables.
  static WeightSums sums;
  FillFilter(sums, two_byte_rows, two_byte_count, kTwoByteRowSlots, tables);
  FillRoutedFilter(sums, high_rows, high_count, ascii_rows, ascii_count,
                   kRoutedSlots, tables);
  FillRoutedFilter(sums, high_rows, high_count, ascii_rows, ascii_count,
                   kEndPairSlots, tables);
  FillFilter(sums, high_run_rows, high_run_count, kHighRunSlots, tables);
  for (std::size_t k = 0; k < kHighRunPositions; ++k) {
    for (unsigned x = 0; x < 128; ++x) {
      const unsigned byte = 0x80u | x;
      tables.high_run_bytes[k][x] = tables.nibble[kHighRunSlots.Low(k)][byte & 15u] &
                                    tables.nibble[kHighRunSlots.High(k)][byte >> 4];
    }
  }

  for (std::size_t r = 0; r < n; ++r) {
    const ScanRow& row = tables.rows[r];
    for (std::size_t k = 0; k < 3; ++k)
      for (unsigned b = 0; b < 256; ++b)
        if (k >= row.length || row.bytes[row.length - 1 - k] == b)
          tables.rows_ending_with[k][b] |= std::uint64_t{1} << r;
  }
}

}  // namespace Scan
}  // namespace Tavrin
