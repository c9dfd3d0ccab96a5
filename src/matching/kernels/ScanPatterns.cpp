#include "matching/kernels/ScanPatterns.h"

#include <cstring>

#include "matching/AsciiFold.h"

namespace Tavrin {
namespace scan {
namespace {

constexpr std::size_t kBucketCount = 8;

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

// How often a byte is expected in the texts hosts screen: lower-case letters
// and spaces in English, high bytes in GBK. Only the relative weights matter;
// they steer which rows share a bucket so that common text makes few
// candidates. Any weights give correct results.
double ByteWeight(unsigned v) {
  if (v == ' ' || (v >= 'a' && v <= 'z')) return 8.0;
  if (v >= 0x80) return 4.0;
  return 1.0;
}

// The nibble sets of one bucket (or of one row's fingerprint) at each
// fingerprint position.
struct NibbleSets {
  std::uint16_t low[kFingerprintLength];
  std::uint16_t high[kFingerprintLength];
};

NibbleSets Merge(const NibbleSets& a, const NibbleSets& b) {
  NibbleSets m;
  for (std::size_t k = 0; k < kFingerprintLength; ++k) {
    m.low[k] = static_cast<std::uint16_t>(a.low[k] | b.low[k]);
    m.high[k] = static_cast<std::uint16_t>(a.high[k] | b.high[k]);
  }
  return m;
}

// The expected share of windows that pass a bucket's nibble tests, up to a
// constant factor: the product over positions of the weight of the bytes
// accepted there.
double PassWeight(const NibbleSets& s) {
  double product = 1.0;
  for (std::size_t k = 0; k < kFingerprintLength; ++k) {
    double sum = 0.0;
    for (unsigned v = 0; v < 256; ++v) {
      if ((s.low[k] >> (v & 15u) & 1u) && (s.high[k] >> (v >> 4) & 1u))
        sum += ByteWeight(v);
    }
    product *= sum;
  }
  return product;
}

NibbleSets FingerprintOf(const ScanRow& row) {
  NibbleSets s{};
  for (std::size_t k = 0; k < kFingerprintLength; ++k) {
    if (k >= row.length) {
      // Shorter rows match whatever follows them.
      s.low[k] = s.high[k] = 0xFFFFu;
      continue;
    }
    // Both cases of a letter: the text is looked up unfolded.
    const unsigned c = row.bytes[k];
    const unsigned other = c ^ FoldBit(row.bytes[k]);
    s.low[k] = static_cast<std::uint16_t>(1u << (c & 15u) | 1u << (other & 15u));
    s.high[k] = static_cast<std::uint16_t>(1u << (c >> 4) | 1u << (other >> 4));
  }
  return s;
}

void FillRow(const char* text, ScanRow& row) {
  std::memset(&row, 0, sizeof row);
  unsigned char fold_bits[kMaxRowLength] = {};
  unsigned char mask[kMaxRowLength] = {};
  row.length = std::strlen(text);
  for (std::size_t i = 0; i < row.length; ++i) {
    const unsigned char c = FoldAsciiCase(static_cast<unsigned char>(text[i]));
    row.bytes[i] = c;
    fold_bits[i] = FoldBit(c);
    mask[i] = 0xFFu;
  }
  std::memcpy(row.value, row.bytes, sizeof row.value);
  std::memcpy(row.fold_bits, fold_bits, sizeof row.fold_bits);
  std::memcpy(row.mask, mask, sizeof row.mask);
}

// Groups the rows into kBucketCount buckets: starting from one group per
// distinct fingerprint, repeatedly merges the two groups whose union lets
// the least extra text through.
void AssignBuckets(const ScanRow* rows, std::size_t count,
                   std::uint8_t* bucket_of_row, NibbleSets* buckets) {
  NibbleSets groups[kBannedWordCount];
  float weight[kBannedWordCount];
  std::uint8_t group_of_row[kBannedWordCount];
  std::size_t group_count = 0;
  for (std::size_t r = 0; r < count; ++r) {
    const NibbleSets s = FingerprintOf(rows[r]);
    std::size_t g = 0;
    while (g < group_count && std::memcmp(&groups[g], &s, sizeof s) != 0) ++g;
    if (g == group_count) {
      groups[group_count] = s;
      weight[group_count] = static_cast<float>(PassWeight(s));
      ++group_count;
    }
    group_of_row[r] = static_cast<std::uint8_t>(g);
  }
  // merged[i][j] caches PassWeight(Merge(groups[i], groups[j])) for i < j.
  float merged[kBannedWordCount][kBannedWordCount];
  for (std::size_t i = 0; i < group_count; ++i)
    for (std::size_t j = i + 1; j < group_count; ++j)
      merged[i][j] = static_cast<float>(PassWeight(Merge(groups[i], groups[j])));
  std::size_t live = group_count;
  bool alive[kBannedWordCount];
  for (std::size_t i = 0; i < group_count; ++i) alive[i] = true;
  while (live > kBucketCount) {
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
    --live;
    for (std::size_t r = 0; r < count; ++r)
      if (group_of_row[r] == best_j) group_of_row[r] = static_cast<std::uint8_t>(best_i);
    for (std::size_t k = 0; k < group_count; ++k) {
      if (!alive[k] || k == best_i) continue;
      const std::size_t i = k < best_i ? k : best_i;
      const std::size_t j = k < best_i ? best_i : k;
      merged[i][j] = static_cast<float>(PassWeight(Merge(groups[i], groups[j])));
    }
  }
  // Number the surviving groups 0 .. live - 1.
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

}  // namespace

void BuildScanPatterns(ScanPatterns& patterns) noexcept {
  std::memset(&patterns, 0, sizeof patterns);

  // Distinct rows, folded ("sex" is in the table twice; one copy decides).
  ScanRow distinct[kBannedWordCount];
  std::size_t count = 0;
  for (const char* text : BannedWordTable) {
    ScanRow row;
    FillRow(text, row);
    bool seen = false;
    for (std::size_t i = 0; i < count && !seen; ++i)
      seen = distinct[i].length == row.length &&
             std::memcmp(distinct[i].bytes, row.bytes, row.length) == 0;
    if (!seen) distinct[count++] = row;
  }

  // Stable order by first byte, and the index into it.
  std::size_t n = 0;
  for (unsigned first = 0; first < 256; ++first) {
    patterns.first_begin[first] = static_cast<std::uint8_t>(n);
    for (std::size_t i = 0; i < count; ++i)
      if (distinct[i].bytes[0] == first) patterns.rows[n++] = distinct[i];
    patterns.first_end[first] = static_cast<std::uint8_t>(n);
  }
  patterns.row_count = n;

  for (std::size_t i = 0; i < n; ++i) {
    const ScanRow& row = patterns.rows[i];
    const unsigned key = static_cast<unsigned>(row.bytes[0]) << 8 | row.bytes[1];
    patterns.pair_bits[key / 64] |= std::uint64_t{1} << (key % 64);
  }

  // Pairs grouped by first byte, for the SSE2 kernel. Rows are sorted by
  // first byte, so each group is one run.
  std::size_t firsts = 0, seconds = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const ScanRow& row = patterns.rows[i];
    if (firsts == 0 || patterns.pair_first[firsts - 1] != row.bytes[0]) {
      patterns.pair_first[firsts] = row.bytes[0];
      patterns.pair_first_fold_bits[firsts] = FoldBit(row.bytes[0]);
      patterns.pair_second_begin[firsts] = static_cast<std::uint8_t>(seconds);
      ++firsts;
    }
    bool seen = false;
    for (std::size_t s = patterns.pair_second_begin[firsts - 1]; s < seconds; ++s)
      seen = seen || patterns.pair_second[s] == row.bytes[1];
    if (!seen) {
      patterns.pair_second[seconds] = row.bytes[1];
      patterns.pair_second_fold_bits[seconds] = FoldBit(row.bytes[1]);
      ++seconds;
    }
  }
  patterns.pair_first_count = firsts;
  patterns.pair_second_begin[firsts] = static_cast<std::uint8_t>(seconds);

  std::uint8_t bucket_of_row[kBannedWordCount];
  NibbleSets buckets[kBucketCount];
  AssignBuckets(patterns.rows, n, bucket_of_row, buckets);
  for (std::size_t b = 0; b < kBucketCount; ++b) {
    for (std::size_t k = 0; k < kFingerprintLength; ++k) {
      for (unsigned nibble = 0; nibble < 16; ++nibble) {
        if (buckets[b].low[k] >> nibble & 1u)
          patterns.teddy_low[k][nibble] |= static_cast<unsigned char>(1u << b);
        if (buckets[b].high[k] >> nibble & 1u)
          patterns.teddy_high[k][nibble] |= static_cast<unsigned char>(1u << b);
      }
    }
  }
}

bool RowMatchesAt(const ScanPatterns& patterns, const unsigned char* text,
                  std::size_t length, std::size_t at) noexcept {
  const unsigned char first = FoldAsciiCase(text[at]);
  const ScanRow* row = patterns.rows + patterns.first_begin[first];
  const ScanRow* const end = patterns.rows + patterns.first_end[first];
  const std::size_t left = length - at;
  if (left >= kMaxRowLength) {
    std::uint64_t word[2];
    std::memcpy(word, text + at, sizeof word);
    for (; row != end; ++row) {
      if (((word[0] | row->fold_bits[0]) & row->mask[0]) == row->value[0] &&
          ((word[1] | row->fold_bits[1]) & row->mask[1]) == row->value[1])
        return true;
    }
    return false;
  }
  // Near the end of the text: byte by byte, never past text[length - 1].
  for (; row != end; ++row) {
    if (row->length > left) continue;
    std::size_t i = 1;
    while (i < row->length &&
           FoldAsciiCase(text[at + i]) == row->bytes[i])
      ++i;
    if (i == row->length) return true;
  }
  return false;
}

bool AnyRowMatchesAt(const ScanPatterns& patterns, const unsigned char* text,
                     std::size_t length, std::size_t base,
                     std::uint32_t lanes) noexcept {
  while (lanes != 0) {
#if defined(__GNUC__)
    const unsigned lane = static_cast<unsigned>(__builtin_ctz(lanes));
#else
    unsigned lane = 0;
    while ((lanes >> lane & 1u) == 0) ++lane;
#endif
    if (RowMatchesAt(patterns, text, length, base + lane)) return true;
    lanes &= lanes - 1;
  }
  return false;
}

}  // namespace scan
}  // namespace Tavrin
