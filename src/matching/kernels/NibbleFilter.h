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
//   static bool IsZero(Vector);                      // every byte zero
//   static Vector BothNonZero(Vector, Vector);      // a byte nonzero exactly
//                                                  // where both bytes are
// and two choices: `kHoldTables`, whether a run of blocks keeps the tables
// in registers, and `kGateOnEndPairs`, whether a run of blocks looks at the
// suffix tables only for the blocks that the end-pair tables let through
// (see CandidatesInPlace).
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
  // The most blocks CandidatesInPlace takes at once.
  static constexpr std::size_t kMaxRun = 16;

  explicit NibbleFilter(const ScanTables& tables)
      : tables_(tables), run_tables_(tables) {}

  // The candidates of the block whose bytes are block[0 .. kBlockLength +
  // kWindowLength - 1).
  std::uint64_t Candidates(const unsigned char* block) {
    const NibbleTableSet<Ops, false> nibble(tables_);
    return WindowCandidatesInline(nibble, Ops::Load(block), Ops::Load(block + 1),
                            Ops::Load(block + 2), Ops::Load(block + 3),
                            Ops::Load(block + 4));
  }

  // The candidates of the `count` (at most kMaxRun) blocks in place at
  // offsets window_base, window_base + kBlockLength, ... into
  // candidates[0 .. count); returns whether any block has some. The blocks
  // must lie wholly in the text. The loop does not stop at a block with
  // candidates, so it is not left at each one.
  //
  // With kGateOnEndPairs, a run is filtered in two stages: first every
  // block by its last two bytes only (the two-byte-row and end-pair
  // tables), then by the suffix tables just the blocks where some end pair
  // passed, listed without a branch so that a text where that is rare and
  // random (GBK: about a third of 32-byte blocks) costs no mispredictions.
  // Where most blocks pass anyway (English), the second stage would only
  // redo the first's work, so after such a run the next runs take the one
  // stage (WindowCandidates) instead. Both ways give the same candidates.
  bool CandidatesInPlace(const unsigned char* text, std::ptrdiff_t window_base,
                         std::size_t count, std::uint64_t* candidates) {
    const NibbleTableSet<Ops, Ops::kHoldTables>& t = run_tables_;
    const unsigned char* const first = text + window_base;
    std::uint64_t any = 0;
    if (!Ops::kGateOnEndPairs || one_stage_runs_ > 0) {
      if (one_stage_runs_ > 0) --one_stage_runs_;
      for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* block = first + i * kBlockLength;
        // Inlined where the tables are held in registers (they stay
        // there), called out of line where they are loaded where used.
        const Vector b0 = Ops::Load(block), b1 = Ops::Load(block + 1),
                     b2 = Ops::Load(block + 2), b3 = Ops::Load(block + 3),
                     b4 = Ops::Load(block + 4);
        if constexpr (Ops::kHoldTables) {
          candidates[i] = WindowCandidatesInline(t, b0, b1, b2, b3, b4);
        } else {
          candidates[i] = WindowCandidates(t, b0, b1, b2, b3, b4);
        }
        any |= candidates[i];
      }
      return any != 0;
    }
    Vector end_pairs[kMaxRun];
    std::uint8_t gated[kMaxRun];
    std::size_t gated_count = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char* block = first + i * kBlockLength;
      const Nibbles n3 = Split(Ops::Load(block + 3));
      const Nibbles n4 = Split(Ops::Load(block + 4));
      candidates[i] = Ops::NonZero(TwoByteRows(t, n3, n4));
      end_pairs[i] = EndPairs(t, n3, n4);
      gated[gated_count] = static_cast<std::uint8_t>(i);
      gated_count += !Ops::IsZero(end_pairs[i]);
    }
    for (std::size_t j = 0; j < gated_count; ++j) {
      const std::size_t i = gated[j];
      const unsigned char* block = first + i * kBlockLength;
      candidates[i] |= Ops::NonZero(Ops::BothNonZero(
          end_pairs[i],
          Suffixes(t, Split(Ops::Load(block)), Split(Ops::Load(block + 1)),
                   Split(Ops::Load(block + 2)), Split(Ops::Load(block + 3)),
                   Split(Ops::Load(block + 4)))));
    }
    for (std::size_t i = 0; i < count; ++i) any |= candidates[i];
    // More than 10 blocks in 16 through the gate: 8 runs in one stage.
    if (gated_count * 16 > count * 10) one_stage_runs_ = 8;
    return any != 0;
  }

  std::size_t Confirm(const unsigned char* text, std::size_t length,
                      std::ptrdiff_t window_base, std::uint64_t candidates) const {
    return FirstRowEndInBlock(tables_, text, length, window_base, candidates);
  }

 protected:
  struct Nibbles {
    Vector low, high;
  };
  static Nibbles Split(Vector bytes) {
    return {Ops::And(bytes, Ops::Nibble()), Ops::High(bytes)};
  }

  // The buckets of `slots` whose byte k may be the byte split into `n`.
  template <typename Tables>
  static Vector Lookup(const Tables& t, NibbleFilterSlots slots, std::size_t k,
                       Nibbles n) {
    return Ops::And(Ops::Shuffle(t[slots.Low(k)], n.low),
                    Ops::Shuffle(t[slots.High(k)], n.high));
  }

  // Where a whole 2-byte row may end on a window's last byte (n4), with n3
  // before it.
  template <typename Tables>
  static Vector TwoByteRows(const Tables& t, Nibbles n3, Nibbles n4) {
    return Ops::And(Lookup(t, kTwoByteRowSlots, 0, n3),
                    Lookup(t, kTwoByteRowSlots, 1, n4));
  }

  // Where the last two bytes of a longer row may end a window.
  template <typename Tables>
  static Vector EndPairs(const Tables& t, Nibbles n3, Nibbles n4) {
    return Ops::And(Lookup(t, kEndPairSlots, 0, n3),
                    Lookup(t, kEndPairSlots, 1, n4));
  }

  // Where the last kSuffixLength bytes of a longer row may be a window.
  template <typename Tables>
  static Vector Suffixes(const Tables& t, Nibbles n0, Nibbles n1, Nibbles n2,
                         Nibbles n3, Nibbles n4) {
    static_assert(kSuffixLength == 5, "the lookups below are written out");
    return Ops::And3(Ops::And3(Lookup(t, kSuffixSlots, 0, n0),
                               Lookup(t, kSuffixSlots, 1, n1),
                               Lookup(t, kSuffixSlots, 2, n2)),
                     Lookup(t, kSuffixSlots, 3, n3),
                     Lookup(t, kSuffixSlots, 4, n4));
  }

  // The candidates of a block whose bytes from offset k on are `b<k>`: a
  // window passes when it may hold a whole 2-byte row at its end, or the
  // last kSuffixLength bytes of a longer row (two filters with buckets of
  // their own: the suffix filter, and the end-pair filter over its last two
  // bytes, which stops a suffix bucket's union from letting a row less its
  // last byte through with almost any byte after it).
  template <typename Tables>
#if defined(__GNUC__)
  __attribute__((always_inline))
#endif
  static std::uint64_t WindowCandidatesInline(const Tables& t, Vector b0, Vector b1,
                                        Vector b2, Vector b3, Vector b4) {
    const Nibbles n3 = Split(b3), n4 = Split(b4);
    return Ops::NonZero(Ops::Or(
        TwoByteRows(t, n3, n4),
        Ops::BothNonZero(EndPairs(t, n3, n4),
                              Suffixes(t, Split(b0), Split(b1), Split(b2), n3,
                                       n4))));
  }
  // The same, out of line. A run of blocks whose tables are loaded where
  // used (SSSE3, AVX2) calls it: inlined there, AVX2 ran long texts 10-15%
  // slower (Zen 5). With the tables held (AVX-512) the loop inlines it, as
  // does every single block (the first and last of a text, every block of
  // a short one): out of line, AVX-512 ran 25% slower, and short texts
  // 10-30% slower on every kernel.
  template <typename Tables>
#if defined(__GNUC__)
  __attribute__((noinline))
#endif
  static std::uint64_t WindowCandidates(const Tables& t, Vector b0, Vector b1,
                                        Vector b2, Vector b3, Vector b4) {
    return WindowCandidatesInline(t, b0, b1, b2, b3, b4);
  }


  const ScanTables& tables_;
  // The tables as the runs of blocks read them: held once per text when the
  // kernel holds them, else read where used.
  const NibbleTableSet<Ops, Ops::kHoldTables> run_tables_;
  // Runs of blocks still to be filtered in one stage (kGateOnEndPairs).
  std::size_t one_stage_runs_ = 0;
};

}  // namespace
}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_NIBBLEFILTER_H_
