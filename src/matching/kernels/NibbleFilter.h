// The nibble-table block filter shared by the SSSE3, AVX2 and AVX-512
// kernels, written once over a small set of vector operations. Each kernel's
// file supplies the operations for its instruction set and instantiates the
// filter there, so it is compiled with that set; everything here has
// internal linkage.
#ifndef TAVRIN_MATCHING_KERNELS_NIBBLEFILTER_H_
#define TAVRIN_MATCHING_KERNELS_NIBBLEFILTER_H_

#include <cstddef>
#include <cstdint>

#include "matching/kernels/ExactCheck.h"
#include "matching/kernels/ScanTables.h"

namespace Tavrin {
namespace Scan {
namespace {

// The nibble tables as a filter reads them: held in registers for a whole
// run of blocks (kHeld), or loaded where each is used, which is cheaper for
// a single block, or where the registers cannot hold all of them beside the
// block's own vectors (they would be written to the stack and read back).
template <typename Ops, bool kHeld>
class NibbleTableSet {
 public:
  using Vector = typename Ops::Vector;

  explicit NibbleTableSet(const ScanTables& tables) : tables_(tables) {
    if constexpr (kHeld) {
      for (std::size_t slot = 0; slot < kNibbleTableCount; ++slot)
        held_[slot] = Ops::LoadTable(tables.nibble[slot]);
    }
  }

  Vector operator[](std::size_t slot) const {
    if constexpr (kHeld) {
      return held_[slot];
    } else {
      return Ops::LoadTable(tables_.nibble[slot]);
    }
  }

 private:
  const ScanTables& tables_;
  Vector held_[kHeld ? kNibbleTableCount : 1];
};

// `Ops` supplies, for one vector width:
//   using Vector; static constexpr std::size_t kLanes (bytes per vector);
//   static Vector Load(const unsigned char*);        // unaligned
//   static Vector LoadTable(const unsigned char*);   // 64-byte aligned
//   static Vector Nibble();                          // every byte 0x0F
//   static Vector And(Vector, Vector), Or(Vector, Vector);
//   static Vector And3(Vector, Vector, Vector);
//   static Vector Shuffle(Vector table, Vector index); // per 16-byte lane
//   static Vector High(Vector bytes);                // bytes >> 4, per byte
//   static std::uint64_t NonZero(Vector);            // a bit per byte
//   static Vector KeepWhereNonZero(Vector where, Vector v);
// and `kHoldTables`: whether a run of blocks keeps the tables in registers.
//
// A block is kBlockLength consecutive windows of kSuffixLength bytes, the
// window at offset w being text[w .. w + kSuffixLength); vector lane i holds
// the window at block offset + i, and bit i of the block's candidates says
// that a row may end on that window's last byte.
template <typename Ops>
class NibbleFilter {
 public:
  using Vector = typename Ops::Vector;
  static constexpr std::size_t kBlockLength = Ops::kLanes;
  static constexpr std::size_t kWindowLength = kSuffixLength;
  // A row of 2 bytes can end on text[1], the last byte of the window at
  // 2 - kSuffixLength: the first windows begin this many bytes before the
  // text.
  static constexpr std::size_t kLead = kSuffixLength - 2;

  explicit NibbleFilter(const ScanTables& tables) : tables_(tables) {}

  // The candidates of the block whose bytes are block[0 .. kBlockLength +
  // kWindowLength - 1).
  std::uint64_t Candidates(const unsigned char* block) {
    const NibbleTableSet<Ops, false> nibble(tables_);
    return WindowCandidates(nibble, Ops::Load(block), Ops::Load(block + 1),
                            Ops::Load(block + 2), Ops::Load(block + 3),
                            Ops::Load(block + 4));
  }

  // The candidates of the `count` blocks in place at offsets window_base,
  // window_base + kBlockLength, ... into candidates[0 .. count); returns
  // whether any block has some. The blocks must lie wholly in the text. The
  // loop does not stop at a block with candidates, so it is not left at each
  // one.
  bool CandidatesInPlace(const unsigned char* text, std::ptrdiff_t window_base,
                         std::size_t count, std::uint64_t* candidates) {
    const NibbleTableSet<Ops, Ops::kHoldTables> nibble(tables_);
    std::uint64_t any = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char* block = text + window_base + i * kBlockLength;
      candidates[i] = WindowCandidates(
          nibble, Ops::Load(block), Ops::Load(block + 1), Ops::Load(block + 2),
          Ops::Load(block + 3), Ops::Load(block + 4));
      any |= candidates[i];
    }
    return any != 0;
  }

  bool Confirm(const unsigned char* text, std::size_t length,
               std::ptrdiff_t window_base, std::uint64_t candidates) const {
    return AnyRowEndsInBlock(tables_, text, length, window_base, candidates);
  }

 protected:
  // The candidates of a block whose bytes from offset k on are `b<k>`: a
  // window passes when it may hold a whole 2-byte row at its end, or the
  // last kSuffixLength bytes of a longer row (two filters with buckets of
  // their own: the suffix filter, and the end-pair filter over its last two
  // bytes, which stops a suffix bucket's union from letting a row less its
  // last byte through with almost any byte after it).
  template <typename Tables>
  static std::uint64_t WindowCandidates(const Tables& t, Vector b0, Vector b1,
                                        Vector b2, Vector b3, Vector b4) {
    static_assert(kSuffixLength == 5, "the lookups below are written out");
    constexpr NibbleFilterSlots kTwo = kTwoByteRowSlots;
    constexpr NibbleFilterSlots kSuffix = kSuffixSlots;
    constexpr NibbleFilterSlots kEnd = kEndPairSlots;
    const Vector nibble = Ops::Nibble();
    const Vector low0 = Ops::And(b0, nibble), high0 = Ops::High(b0);
    const Vector low1 = Ops::And(b1, nibble), high1 = Ops::High(b1);
    const Vector low2 = Ops::And(b2, nibble), high2 = Ops::High(b2);
    const Vector low3 = Ops::And(b3, nibble), high3 = Ops::High(b3);
    const Vector low4 = Ops::And(b4, nibble), high4 = Ops::High(b4);
    const Vector two_byte_rows = Ops::And3(
        Ops::Shuffle(t[kTwo.Low(0)], low3), Ops::Shuffle(t[kTwo.High(0)], high3),
        Ops::And(Ops::Shuffle(t[kTwo.Low(1)], low4),
                 Ops::Shuffle(t[kTwo.High(1)], high4)));
    const Vector suffix_front = Ops::And3(
        Ops::And(Ops::Shuffle(t[kSuffix.Low(0)], low0),
                 Ops::Shuffle(t[kSuffix.High(0)], high0)),
        Ops::And(Ops::Shuffle(t[kSuffix.Low(1)], low1),
                 Ops::Shuffle(t[kSuffix.High(1)], high1)),
        Ops::And(Ops::Shuffle(t[kSuffix.Low(2)], low2),
                 Ops::Shuffle(t[kSuffix.High(2)], high2)));
    const Vector end_pairs = Ops::And3(
        Ops::Shuffle(t[kEnd.Low(0)], low3), Ops::Shuffle(t[kEnd.High(0)], high3),
        Ops::And(Ops::Shuffle(t[kEnd.Low(1)], low4),
                 Ops::Shuffle(t[kEnd.High(1)], high4)));
    const Vector suffixes = Ops::KeepWhereNonZero(
        end_pairs,
        Ops::And3(suffix_front,
                  Ops::And(Ops::Shuffle(t[kSuffix.Low(3)], low3),
                           Ops::Shuffle(t[kSuffix.High(3)], high3)),
                  Ops::And(Ops::Shuffle(t[kSuffix.Low(4)], low4),
                           Ops::Shuffle(t[kSuffix.High(4)], high4))));
    return Ops::NonZero(Ops::Or(two_byte_rows, suffixes));
  }

  const ScanTables& tables_;
};

}  // namespace
}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_NIBBLEFILTER_H_
