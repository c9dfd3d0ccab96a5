// The nibble-table block filter shared by the SSSE3, AVX2, AVX-512 and NEON
// kernels, written once over a small set of vector operations. Each
// kernel's file supplies the operations for its instruction set and
// instantiates the filter there, so it is compiled with that set;
// everything here has internal linkage. The tables and why no row is
// missed: ScanTables.h and DESIGN.md beside this file.
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
// text (kHeld), or loaded where each is used, which is cheaper for a single
// block, or where the registers cannot hold all of them beside the block's
// own vectors (they would be written to the stack and read back).
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
//   static Vector Zero();
//   static Vector And(Vector, Vector), Or(Vector, Vector);
//   static Vector And3(Vector, Vector, Vector);
//   static Vector Shuffle(Vector table, Vector index); // per 16-byte lane
//   static Vector Low(Vector bytes), High(Vector bytes); // bytes & 15, >> 4
//   static std::uint64_t NonZero(Vector);            // a bit per byte
//   static bool IsZero(Vector);                      // every byte zero
//   static Vector BothNonZero(Vector, Vector);       // nonzero exactly where
//                                                  // both bytes are
//   static bool AllHigh(Vector);                     // every byte >= 0x80
//   static Vector Before1(Vector v, Vector before);  // and 2, 3: v's bytes
//                                                  // moved up, before's last in
// and three choices: `kHoldTables`, whether the tables stay in registers for
// a whole text; `kTwoStage`, whether a run of blocks takes the mixed
// filter in two stages (see CandidatesInPlace); and `kHighByteTables`,
// whether a run of blocks takes the high-run filter by whole bytes
// (ScanTables::high_run_bytes), with, for 64-byte vectors,
//   static Vector HighByteLookup(Vector lower, Vector upper, Vector bytes);
//                      // entry bytes & 127 of the 128 bytes lower, upper
//
// A block is kBlockLength consecutive windows of kSuffixLength bytes, the
// window at offset w being text[w .. w + kSuffixLength); vector lane i holds
// the window at block offset + i, and bit i of the block's candidates says
// that a row may end on that window's last byte.
//
// Two filters give a block's candidates:
// - the mixed filter, for any text: the 2-byte rows exactly, or the longer
//   rows by their last kRoutedPositions bytes through the routed tables
//   (a window's last byte picks the bucket of high-ending rows or that of
//   ASCII-ending rows behind each bit);
// - the high-run filter, for a run of blocks none of whose bytes is ASCII:
//   only the rows that end in three bytes of 0x80 or more can end there,
//   and they are looked up by those three bytes (six lookups, not 14).
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
  // The mixed filter's first stage looks at a window's last kGatePositions
  // bytes, the second at the others.
  static constexpr std::size_t kGatePositions = 3;
  static_assert(kGatePositions == 3, "RoutedEnd is written out for three");
  static_assert(kLead >= 1 && kLead <= 3, "ShiftUp moves bytes up 1 to 3 places");

  explicit NibbleFilter(const ScanTables& tables)
      : tables_(tables), run_tables_(tables) {}

  // The candidates of the block whose bytes are block[0 .. kBlockLength +
  // kWindowLength - 1), by the mixed filter.
  std::uint64_t Candidates(const unsigned char* block) {
    const NibbleTableSet<Ops, false> nibble(tables_);
    return Mixed(nibble, block);
  }
  // The same for a block of a text none of whose bytes is ASCII (`high`,
  // AllHighText), by the high-run filter; by the mixed one otherwise.
  std::uint64_t Candidates(const unsigned char* block, bool high) {
    const NibbleTableSet<Ops, false> nibble(tables_);
    const auto load = [block](std::size_t k) { return Ops::Load(block + k); };
    return high ? HighRun(nibble, load) : Mixed(nibble, load);
  }

  // Whether no byte of text[0 .. length) is ASCII; length at least
  // kBlockLength. Reads the text once, a vector at a time, the last
  // overlapping the one before.
  static bool AllHighText(const unsigned char* text, std::size_t length) {
    // Most other texts have ASCII in their first bytes: one test.
    if (!Ops::AllHigh(Ops::Load(text))) return false;
    Vector all = Ops::Load(text + length - kBlockLength);
    for (std::size_t at = kBlockLength; at + kBlockLength < length; at += kBlockLength)
      all = Ops::And(all, Ops::Load(text + at));
    return Ops::AllHigh(all);
  }

  // The candidates of a text's first block, windows -kLead .. kBlockLength -
  // kLead - 1, read from text[0 .. kBlockLength + kWindowLength - kLead - 1)
  // alone: the vectors from before the text are its first kBlockLength
  // bytes moved up, zeros shifted in.
  // With `high`, the text has no ASCII byte (AllHighText): the high-run
  // filter serves (the zeros shifted in are no text and end no row).
#if defined(__GNUC__)
  __attribute__((always_inline))
#endif
  std::uint64_t FirstCandidates(const unsigned char* text, bool high) {
    const NibbleTableSet<Ops, false> nibble(tables_);
    const Vector start = Ops::Load(text);
    const auto load = [text, start](std::size_t k) {
      return k < kLead ? ShiftUp(start, kLead - k) : Ops::Load(text + (k - kLead));
    };
    return high ? HighRun(nibble, load) : Mixed(nibble, load);
  }

  // The candidates of the `count` (at most kMaxRun) blocks in place at
  // offsets window_base, window_base + kBlockLength, ... into
  // candidates[0 .. count); returns whether any block has some. The blocks
  // must lie wholly in the text. The loop does not stop at a block with
  // candidates, so it is not left at each one.
  //
  // A run none of whose bytes that the high-run filter reads is ASCII takes
  // that filter; any other, the mixed one. Either gives every window a row
  // ends on (see the class comment and DESIGN.md).
  // Inlined into the block loop, so that the compiler sees `candidates` is
  // the loop's own array: a store through a pointer it cannot place might
  // alias the byte tables, which would then be loaded again for every
  // block (15% slower, AVX2 on GBK).
#if defined(__GNUC__)
  __attribute__((always_inline))
#endif
  bool CandidatesInPlace(const unsigned char* text, std::ptrdiff_t window_base,
                         std::size_t count, std::uint64_t* candidates) {
    const NibbleTableSet<Ops, Ops::kHoldTables>& t = run_tables_;
    const unsigned char* const first = text + window_base;
    std::uint64_t any = 0;
    last_run_was_high_ = AllHighRun(first, count);
    second_stage_blocks_ = 0;
    if (last_run_was_high_) {
      if constexpr (Ops::kHighByteTables) {
        const HighRunByteTables bytes(tables_);
        for (std::size_t i = 0; i < count; ++i) {
          candidates[i] = bytes.Candidates(first + i * kBlockLength);
          any |= candidates[i];
        }
      } else {
        for (std::size_t i = 0; i < count; ++i) {
          candidates[i] = HighRun(t, first + i * kBlockLength);
          any |= candidates[i];
        }
      }
      return any != 0;
    }
    if (!Ops::kTwoStage || one_stage_runs_ > 0) {
      if (one_stage_runs_ > 0) --one_stage_runs_;
      second_stage_blocks_ = count;
      for (std::size_t i = 0; i < count; ++i) {
        // Called out of line where the tables are loaded where used (SSSE3,
        // AVX2: inlined, AVX2 ran English 10% slower), inlined where they
        // are held in registers.
        if constexpr (Ops::kHoldTables) {
          candidates[i] = Mixed(t, first + i * kBlockLength);
        } else {
          candidates[i] = MixedOutOfLine(t, first + i * kBlockLength);
        }
        any |= candidates[i];
      }
      return any != 0;
    }
    // Two stages: every block by the 2-byte rows and the routed tables'
    // last kGatePositions positions; then, for just the blocks where a
    // routed bit is left, the routed tables' other positions. The blocks
    // for the second stage are listed without a branch, so that a text
    // where they are few and scattered costs no mispredictions. Where most
    // blocks pass the first stage anyway, the second would only redo its
    // work: after such a run the next runs take one stage. Both ways give
    // the same candidates.
    Vector partial[kMaxRun];
    std::size_t gated[kMaxRun];  // not bytes: a byte store may alias the tables
    std::size_t gated_count = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char* block = first + i * kBlockLength;
      const Nibbles last = Split(Ops::Load(block + kWindowLength - 1));
      const Nibbles before_last = Split(Ops::Load(block + kWindowLength - 2));
      candidates[i] = Ops::NonZero(TwoByteRows(t, before_last, last));
      partial[i] = RoutedEnd(t, Split(Ops::Load(block + kWindowLength - 3)), before_last,
                             last);
      gated[gated_count] = i;
      gated_count += !Ops::IsZero(partial[i]);
    }
    for (std::size_t j = 0; j < gated_count; ++j) {
      const std::size_t i = gated[j];
      const unsigned char* block = first + i * kBlockLength;
      const Vector routed = RoutedStart(t, partial[i], [block](std::size_t k) {
        return Ops::Load(block + k);
      });
      candidates[i] |= Ops::NonZero(Ops::BothNonZero(
          routed, EndPairs(t, Split(Ops::Load(block + kWindowLength - 2)),
                           Split(Ops::Load(block + kWindowLength - 1)))));
    }
    for (std::size_t i = 0; i < count; ++i) any |= candidates[i];
    second_stage_blocks_ = gated_count;
    // More than 11 blocks in 16 through the first stage: 8 runs in one.
    if (gated_count * 16 > count * 11) one_stage_runs_ = 8;
    return any != 0;
  }

  // Whether the last run CandidatesInPlace filtered took the high-run filter,
  // and how many of its blocks the mixed filter's second stage looked at.
  bool last_run_was_high() const { return last_run_was_high_; }
  std::size_t second_stage_blocks() const { return second_stage_blocks_; }

  std::size_t Confirm(const unsigned char* text, std::size_t length,
                      std::ptrdiff_t window_base, std::uint64_t candidates) const {
    return FirstRowEndInBlock(tables_, text, length, window_base, candidates);
  }

 protected:
  struct Nibbles {
    Vector low, high;
  };
  static Nibbles Split(Vector bytes) { return {Ops::Low(bytes), Ops::High(bytes)}; }

  // v's bytes moved up n places (1 to 3), zeros shifted in.
  static Vector ShiftUp(Vector v, std::size_t n) {
    switch (n) {
      case 1: return Ops::Before1(v, Ops::Zero());
      case 2: return Ops::Before2(v, Ops::Zero());
      default: return Ops::Before3(v, Ops::Zero());
    }
  }

  // The buckets of `slots` whose byte k may be the byte split into `n`.
  template <typename Tables>
  static Vector Lookup(const Tables& t, NibbleFilterSlots slots, std::size_t k,
                       Nibbles n) {
    return Ops::And(Ops::Shuffle(t[slots.Low(k)], n.low),
                    Ops::Shuffle(t[slots.High(k)], n.high));
  }

  // Whether no byte the high-run filter reads in the `count` blocks from
  // `first` on is ASCII: bytes first[kWindowLength - kHighRunPositions ..
  // count * kBlockLength + kWindowLength - 1).
  static bool AllHighRun(const unsigned char* first, std::size_t count) {
    constexpr std::size_t kFrom = kWindowLength - kHighRunPositions;
    // Most runs of other text have ASCII in their first block: one test.
    if (!Ops::AllHigh(Ops::Load(first + kFrom))) return false;
    Vector all = Ops::Load(first + (count - 1) * kBlockLength + kWindowLength - 1);
    for (std::size_t i = 1; i < count; ++i)
      all = Ops::And(all, Ops::Load(first + i * kBlockLength + kFrom));
    return Ops::AllHigh(all);
  }

  // Where a 2-byte row may end on a window's last byte (split into `last`),
  // with `before_last` before it.
  template <typename Tables>
  static Vector TwoByteRows(const Tables& t, Nibbles before_last, Nibbles last) {
    return Ops::And(Lookup(t, kTwoByteRowSlots, 0, before_last),
                    Lookup(t, kTwoByteRowSlots, 1, last));
  }

  // Where the end-pair tables leave a bit for a window's last two bytes.
  template <typename Tables>
  static Vector EndPairs(const Tables& t, Nibbles before_last, Nibbles last) {
    return Ops::And(Lookup(t, kEndPairSlots, 0, before_last),
                    Lookup(t, kEndPairSlots, 1, last));
  }

  // The routed bits left by a window's last kGatePositions bytes.
  template <typename Tables>
  static Vector RoutedEnd(const Tables& t, Nibbles third_last, Nibbles before_last,
                          Nibbles last) {
    return Ops::And3(Lookup(t, kRoutedSlots, kWindowLength - 3, third_last),
                     Lookup(t, kRoutedSlots, kWindowLength - 2, before_last),
                     Lookup(t, kRoutedSlots, kWindowLength - 1, last));
  }

  // The routed bits of `partial` (from the last kGatePositions positions)
  // left by the positions before them, whose bytes are load(k).
  template <typename Tables, typename Loader>
#if defined(__GNUC__)
  __attribute__((always_inline))
#endif
  static Vector RoutedStart(const Tables& t, Vector partial, Loader load) {
#if defined(__GNUC__)
#pragma GCC unroll 8
#endif
    for (std::size_t k = 0; k < kWindowLength - kGatePositions; ++k)
      partial = Ops::And(partial, Lookup(t, kRoutedSlots, k, Split(load(k))));
    return partial;
  }

  // The mixed filter's candidates of a block whose bytes from offset k on
  // are load(k) (in place: Ops::Load(block + k)), in one stage.
  template <typename Tables, typename Loader>
#if defined(__GNUC__)
  __attribute__((always_inline))
#endif
  static std::uint64_t Mixed(const Tables& t, Loader load) {
    const Nibbles last = Split(load(kWindowLength - 1));
    const Nibbles before_last = Split(load(kWindowLength - 2));
    const Vector routed = RoutedStart(
        t, RoutedEnd(t, Split(load(kWindowLength - 3)), before_last, last), load);
    return Ops::NonZero(Ops::Or(TwoByteRows(t, before_last, last),
                                Ops::BothNonZero(routed, EndPairs(t, before_last, last))));
  }
  template <typename Tables>
#if defined(__GNUC__)
  __attribute__((always_inline))
#endif
  static std::uint64_t Mixed(const Tables& t, const unsigned char* block) {
    return Mixed(t, [block](std::size_t k) { return Ops::Load(block + k); });
  }

  template <typename Tables>
#if defined(__GNUC__)
  __attribute__((noinline))
#endif
  static std::uint64_t MixedOutOfLine(const Tables& t, const unsigned char* block) {
    return Mixed(t, block);
  }

  // The high-run filter's candidates of the block at `block`: only for
  // blocks none of whose last kHighRunPositions window bytes is ASCII.
  template <typename Tables, typename Loader>
#if defined(__GNUC__)
  __attribute__((always_inline))
#endif
  static std::uint64_t HighRun(const Tables& t, Loader load) {
    static_assert(kHighRunPositions == 3, "the lookups below are written out");
    constexpr std::size_t kFrom = kWindowLength - kHighRunPositions;
    return Ops::NonZero(Ops::And3(Lookup(t, kHighRunSlots, 0, Split(load(kFrom))),
                                  Lookup(t, kHighRunSlots, 1, Split(load(kFrom + 1))),
                                  Lookup(t, kHighRunSlots, 2, Split(load(kFrom + 2)))));
  }
  template <typename Tables>
#if defined(__GNUC__)
  __attribute__((always_inline))
#endif
  static std::uint64_t HighRun(const Tables& t, const unsigned char* block) {
    return HighRun(t, [block](std::size_t k) { return Ops::Load(block + k); });
  }

  // The high-run filter by whole bytes: one 128-entry lookup for each of a
  // window's last kHighRunPositions bytes, where HighRun takes two nibble
  // lookups and their split. For blocks all of whose bytes it reads are
  // 0x80 or more (a run AllHighRun passed) it gives HighRun's candidates:
  // each entry is the AND of the nibble entries for that byte.
  class HighRunByteTables {
   public:
    explicit HighRunByteTables(const ScanTables& tables) {
      static_assert(Ops::kLanes == 64, "a 128-entry table is two vectors");
      for (std::size_t k = 0; k < kHighRunPositions; ++k) {
        lower_[k] = Ops::LoadTable(tables.high_run_bytes[k]);
        upper_[k] = Ops::LoadTable(tables.high_run_bytes[k] + 64);
      }
    }
    std::uint64_t Candidates(const unsigned char* block) const {
      constexpr std::size_t kFrom = kWindowLength - kHighRunPositions;
      return Ops::NonZero(Ops::And3(Lookup(block, kFrom, 0), Lookup(block, kFrom, 1),
                                    Lookup(block, kFrom, 2)));
    }

   private:
    Vector Lookup(const unsigned char* block, std::size_t from, std::size_t k) const {
      return Ops::HighByteLookup(lower_[k], upper_[k], Ops::Load(block + from + k));
    }
    Vector lower_[kHighRunPositions];
    Vector upper_[kHighRunPositions];
  };

  const ScanTables& tables_;
  // The tables as the runs of blocks read them: held once per text when the
  // kernel holds them, else read where used.
  const NibbleTableSet<Ops, Ops::kHoldTables> run_tables_;
  bool last_run_was_high_ = false;
  std::size_t second_stage_blocks_ = 0;
  // Runs of blocks still to be filtered in one stage (kTwoStage).
  std::size_t one_stage_runs_ = 0;
};

}  // namespace
}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_NIBBLEFILTER_H_
