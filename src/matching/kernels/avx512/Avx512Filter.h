// The AVX-512 kernels' operations and block filter, shared by the kernel of
// AVX-512BW (Avx512Kernel.cpp) and that of AVX-512 VBMI
// (avx512vbmi/Avx512vbmiKernel.cpp): the nibble-table filter over 64 windows
// per block, with the byte shuffle and byte masks of AVX-512BW. Included
// only by files compiled with -mavx512bw or more; internal linkage.
#ifndef TAVRIN_MATCHING_KERNELS_AVX512_AVX512FILTER_H_
#define TAVRIN_MATCHING_KERNELS_AVX512_AVX512FILTER_H_

#include "matching/kernels/BlockScan.h"
#include "matching/kernels/Kernels.h"
#include "matching/kernels/NibbleFilter.h"
#include "matching/kernels/avx512/Avx512Vectors.h"

namespace Tavrin {
namespace Scan {
namespace {

struct Avx512Ops : Avx512Vectors {
  // 32 registers hold the 24 tables beside a block's own vectors; they are
  // loaded once per text. (Loading each where it is used measured 25-30%
  // slower on AMD Zen 5, and so did loading them again for every run of
  // blocks, which copied them onto the stack each time.)
  static constexpr bool kHoldTables = true;
  // Whether the mixed filter takes two stages (see NibbleFilter).
  static constexpr bool kTwoStage = false;
  // The high-run filter by nibbles; Avx512vbmi's operations look up bytes.
  static constexpr bool kHighByteTables = false;
  // 0x80: the truth table of a & b & c.
  static Vector And3(Vector a, Vector b, Vector c) {
    return _mm512_ternarylogic_epi64(a, b, c, 0x80);
  }
  static std::uint64_t NonZero(Vector v) { return _mm512_test_epi8_mask(v, v); }
  static Vector BothNonZero(Vector a, Vector b) { return _mm512_min_epu8(a, b); }
};

// The block filter of the AVX-512 kernels, over the operations `Ops`
// (Avx512Ops or one built on it).
template <typename Ops>
class Avx512Filter : public NibbleFilter<Ops> {
  using Base = NibbleFilter<Ops>;

 protected:
  using Base::Mixed;
  using Base::tables_;

 public:
  using Base::Base;
  using Base::kBlockLength;
  using Base::kLead;
  using Base::kWindowLength;
  // Masked loads: bytes outside the text are neither read nor faulted on.
  static constexpr bool kMaskedEdges = true;

  // Texts of up to this many bytes have all their windows, -kLead ..
  // length - kWindowLength, within two blocks.
  static constexpr std::size_t kShortLength =
      2 * kBlockLength + kWindowLength - kLead - 1;

  // ScanBlocks for a text of at most kShortLength bytes, without its loop:
  // a short call's time is mostly fixed costs. The blocks at -kLead and
  // -kLead + kBlockLength are read with masked loads (as edges) and share
  // the table loads; the second is filtered only when the text has windows
  // there (branching on that measured faster than always filtering both).
  // Windows past length - kWindowLength are dropped. Reads only
  // text[0 .. length). Rows are reported as ScanBlocks reports them.
  //
  //   windows:  -3 ... 60   61 ... 124       (at most: length 129)
  //             [ first  ]  [ second  ]
  //   bytes:    -3 ...... 64  61 ...... 128  (each block reads 4 beyond)
  template <typename Report>
  void ScanShort(const unsigned char* text, std::size_t length, Report& report) {
    constexpr std::ptrdiff_t kBlock = static_cast<std::ptrdiff_t>(kBlockLength);
    const std::ptrdiff_t base = -static_cast<std::ptrdiff_t>(kLead);
    const std::ptrdiff_t last = static_cast<std::ptrdiff_t>(length) -
                                static_cast<std::ptrdiff_t>(kWindowLength);
    // Bit j of inside[n]: whether byte base + 64 n + j is in the text.
    const std::ptrdiff_t end = static_cast<std::ptrdiff_t>(length) - base;
    const std::uint64_t inside[3] = {LowBits(end) & ~LowBits(-base),
                                     LowBits(end - 64), LowBits(end - 128)};
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(text) +
                              static_cast<std::uintptr_t>(base);
    const NibbleTableSet<Ops, false> nibble(tables_);
    const std::uint64_t first =
        BlockAt(nibble, at, inside[0], inside[1]) & LowBits(last - base + 1);
    std::size_t from = 0;
    if (last - base < kBlock) {
      if (first != 0) ReportRows(*this, text, length, base, first, report, from);
      return;
    }
    const std::uint64_t second =
        BlockAt(nibble, at + kBlockLength, inside[1], inside[2]) &
        LowBits(last - base - kBlock + 1);
    if ((first | second) == 0) return;
    if (first != 0 && ReportRows(*this, text, length, base, first, report, from)) return;
    if (second != 0) ReportRows(*this, text, length, base + kBlock, second, report, from);
  }

  // The block at text + base, which may begin before the text or end after
  // it: each byte outside text[0 .. length) is masked off, so it is not
  // read (and cannot fault) and counts as zero. The addresses are formed as
  // integers, as they may lie outside the text.
  std::uint64_t CandidatesAtEdge(const unsigned char* text, std::size_t length,
                                 std::ptrdiff_t base) {
    const NibbleTableSet<Ops, false> nibble(tables_);
    // Bit j of `inside` (j < 64) and of `inside_beyond` (j - 64): whether
    // byte base + j is in the text. The load from offset k takes bits
    // k .. k + 63 of the two.
    const std::ptrdiff_t first = -base;  // bytes before it are outside
    const std::ptrdiff_t end = static_cast<std::ptrdiff_t>(length) - base;
    const std::uint64_t inside = LowBits(end) & ~LowBits(first);
    const std::uint64_t inside_beyond = LowBits(end - 64) & ~LowBits(first - 64);
    const std::uintptr_t at = reinterpret_cast<std::uintptr_t>(text) +
                              static_cast<std::uintptr_t>(base);
    return BlockAt(nibble, at, inside, inside_beyond);
  }

 private:
  // The candidates of the block at address `at`, whose bytes j (j < 64) and
  // j + 64 are in the text where bit j of `inside` and of `inside_beyond`
  // is set; only those bytes are read, the others count as zero.
#if defined(__GNUC__)
  // Inlined where the blocks of a short text are filtered, so that both
  // share the table loads and run side by side.
  __attribute__((always_inline))
#endif
  static std::uint64_t BlockAt(const NibbleTableSet<Ops, false>& nibble,
                               std::uintptr_t at, std::uint64_t inside,
                               std::uint64_t inside_beyond) {
    return Mixed(nibble, [at, inside, inside_beyond](std::size_t k) {
      const std::uint64_t mask =
          k == 0 ? inside : inside >> k | inside_beyond << (64 - k);
      return MaskedLoad(at + k, mask);
    });
  }

  static __m512i MaskedLoad(std::uintptr_t address, std::uint64_t mask) {
    return _mm512_maskz_loadu_epi8(mask,
                                   reinterpret_cast<const void*>(address));
  }
};

}  // namespace

// The three entry points of an AVX-512 kernel Name over the operations Ops.
// A short text takes ScanShort in Scan and Visit; in Count it too goes
// through the block loop, whose edge blocks are the same masked blocks.
#define TAVRIN_AVX512_KERNEL(Name, Ops)                                        \
  std::size_t Scan##Name(const ScanTables& tables, const unsigned char* text,  \
                         std::size_t length) noexcept {                        \
    if (length > Avx512Filter<Ops>::kShortLength)                              \
      return BlockKernel<Avx512Filter<Ops>>::Scan(tables, text, length);       \
    FirstRowEnd first;                                                         \
    Avx512Filter<Ops>(tables).ScanShort(text, length, first);                  \
    return first.end;                                                          \
  }                                                                            \
  void Visit##Name(const ScanTables& tables, const unsigned char* text,        \
                   std::size_t length, RowVisitor rows) noexcept {              \
    if (length > Avx512Filter<Ops>::kShortLength)                              \
      return BlockKernel<Avx512Filter<Ops>>::Visit(tables, text, length, rows); \
    VisitedRows visited{rows};                                                 \
    Avx512Filter<Ops>(tables).ScanShort(text, length, visited);                \
  }                                                                            \
  void Count##Name(const ScanTables& tables, const unsigned char* text,        \
                   std::size_t length, FilterCounts& counts) noexcept {        \
    BlockKernel<Avx512Filter<Ops>>::Count(tables, text, length, counts);       \
  }

}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_AVX512_AVX512FILTER_H_
