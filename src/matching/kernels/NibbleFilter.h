// The nibble-table block filter shared by the SSSE3, AVX2 and AVX-512
// kernels, written once over a small set of vector operations. Each kernel's
// file supplies the operations for its instruction set and instantiates the
// filter there, so it is compiled with that set; everything here has
// internal linkage.
#ifndef TAVRIN_MATCHING_KERNELS_NIBBLEFILTER_H_
#define TAVRIN_MATCHING_KERNELS_NIBBLEFILTER_H_

#include <cstddef>
#include <cstdint>

#include "matching/kernels/ScanPatterns.h"

namespace Tavrin {
namespace scan {
namespace {

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
template <typename Ops>
class NibbleFilter {
 public:
  using Vector = typename Ops::Vector;
  static constexpr std::size_t kLanes = Ops::kLanes;
  static constexpr std::size_t kWidth = kWindowLength;
  // A row of 2 bytes can end on text[1]: its lane is 1 - (kWidth - 1).
  static constexpr std::size_t kLead = kWindowLength - 2;

  explicit NibbleFilter(const ScanPatterns& patterns) : patterns_(patterns) {}

  // The candidates of the block at `block` (kLanes + kWidth - 1 bytes).
  std::uint64_t Candidates(const unsigned char* block) {
    const TablesAtUse tables(patterns_);
    return Lanes(tables, Ops::Load(block), Ops::Load(block + 1),
                 Ops::Load(block + 2), Ops::Load(block + 3),
                 Ops::Load(block + 4));
  }

  // The candidates of the `count` blocks in place at base, base + kLanes,
  // ... into lanes[0 .. count); returns whether any block has some. The
  // blocks must lie wholly in the text. The tables stay in registers for the
  // whole run, and the loop does not stop at a block with candidates.
  bool CandidatesInPlace(const unsigned char* text, std::ptrdiff_t base,
                         std::size_t count, std::uint64_t* lanes) {
    const Tables tables(patterns_);
    std::uint64_t any = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char* block = text + base + i * kLanes;
      lanes[i] = Lanes(tables, Ops::Load(block), Ops::Load(block + 1),
                       Ops::Load(block + 2), Ops::Load(block + 3),
                       Ops::Load(block + 4));
      any |= lanes[i];
    }
    return any != 0;
  }

  bool Confirm(const unsigned char* text, std::size_t length,
               std::ptrdiff_t base, std::uint64_t lanes) const {
    return AnyRowEndsInLanes(patterns_, text, length, base, lanes);
  }

 protected:
  struct Tables {
    explicit Tables(const ScanPatterns& p) {
      for (std::size_t k = 0; k < 2; ++k) {
        pair_low[k] = Ops::LoadTable(p.pairs.low[k]);
        pair_high[k] = Ops::LoadTable(p.pairs.high[k]);
      }
      for (std::size_t k = 0; k < kWindowLength; ++k) {
        window_low[k] = Ops::LoadTable(p.windows.low[k]);
        window_high[k] = Ops::LoadTable(p.windows.high[k]);
      }
      for (std::size_t k = 0; k < 2; ++k) {
        end_low[k] = Ops::LoadTable(p.ends.low[k]);
        end_high[k] = Ops::LoadTable(p.ends.high[k]);
      }
    }
    // The tables by filter and position, as Lanes asks for them.
    Vector PairLow(std::size_t k) const { return pair_low[k]; }
    Vector PairHigh(std::size_t k) const { return pair_high[k]; }
    Vector WindowLow(std::size_t k) const { return window_low[k]; }
    Vector WindowHigh(std::size_t k) const { return window_high[k]; }
    Vector EndLow(std::size_t k) const { return end_low[k]; }
    Vector EndHigh(std::size_t k) const { return end_high[k]; }
    Vector pair_low[2], pair_high[2];
    Vector window_low[kWindowLength], window_high[kWindowLength];
    Vector end_low[2], end_high[2];
  };

  // The same tables, each loaded where a single block uses it. For one
  // block (the edges of a text, most of a short text) this is cheaper than
  // Tables: 18 vectors do not fit in registers beside the block's own, so a
  // Tables would be written to the stack and read back.
  struct TablesAtUse {
    explicit TablesAtUse(const ScanPatterns& p) : patterns(p) {}
    Vector PairLow(std::size_t k) const {
      return Ops::LoadTable(patterns.pairs.low[k]);
    }
    Vector PairHigh(std::size_t k) const {
      return Ops::LoadTable(patterns.pairs.high[k]);
    }
    Vector WindowLow(std::size_t k) const {
      return Ops::LoadTable(patterns.windows.low[k]);
    }
    Vector WindowHigh(std::size_t k) const {
      return Ops::LoadTable(patterns.windows.high[k]);
    }
    Vector EndLow(std::size_t k) const {
      return Ops::LoadTable(patterns.ends.low[k]);
    }
    Vector EndHigh(std::size_t k) const {
      return Ops::LoadTable(patterns.ends.high[k]);
    }
    const ScanPatterns& patterns;
  };

  // The candidate lanes of a block whose bytes from offset k on are `b<k>`,
  // with the tables of `t` (a Tables or a TablesAtUse).
  template <typename T>
  static std::uint64_t Lanes(const T& t, Vector b0, Vector b1, Vector b2,
                      Vector b3, Vector b4) {
    static_assert(kWindowLength == 5, "the lookups below are written out");
    const Vector nibble = Ops::Nibble();
    const Vector low0 = Ops::And(b0, nibble), high0 = Ops::High(b0);
    const Vector low1 = Ops::And(b1, nibble), high1 = Ops::High(b1);
    const Vector low2 = Ops::And(b2, nibble), high2 = Ops::High(b2);
    const Vector low3 = Ops::And(b3, nibble), high3 = Ops::High(b3);
    const Vector low4 = Ops::And(b4, nibble), high4 = Ops::High(b4);
    const Vector pairs = Ops::And3(
        Ops::Shuffle(t.PairLow(0), low3), Ops::Shuffle(t.PairHigh(0), high3),
        Ops::And(Ops::Shuffle(t.PairLow(1), low4),
                 Ops::Shuffle(t.PairHigh(1), high4)));
    const Vector front = Ops::And3(
        Ops::And(Ops::Shuffle(t.WindowLow(0), low0),
                 Ops::Shuffle(t.WindowHigh(0), high0)),
        Ops::And(Ops::Shuffle(t.WindowLow(1), low1),
                 Ops::Shuffle(t.WindowHigh(1), high1)),
        Ops::And(Ops::Shuffle(t.WindowLow(2), low2),
                 Ops::Shuffle(t.WindowHigh(2), high2)));
    const Vector ends = Ops::And3(
        Ops::Shuffle(t.EndLow(0), low3), Ops::Shuffle(t.EndHigh(0), high3),
        Ops::And(Ops::Shuffle(t.EndLow(1), low4),
                 Ops::Shuffle(t.EndHigh(1), high4)));
    const Vector windows = Ops::KeepWhereNonZero(
        ends, Ops::And3(front,
                        Ops::And(Ops::Shuffle(t.WindowLow(3), low3),
                                 Ops::Shuffle(t.WindowHigh(3), high3)),
                        Ops::And(Ops::Shuffle(t.WindowLow(4), low4),
                                 Ops::Shuffle(t.WindowHigh(4), high4))));
    return Ops::NonZero(Ops::Or(pairs, windows));
  }

  const ScanPatterns& patterns_;
};

}  // namespace
}  // namespace scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_NIBBLEFILTER_H_
