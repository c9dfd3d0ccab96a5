// NEON kernel: the nibble-table filter over 16 windows per block, with the
// 16-byte table lookup of aarch64's Advanced SIMD (TBL). Advanced SIMD is
// part of every ARMv8-A processor, so the kernel needs no option and runs on
// every aarch64 processor.
#include "matching/kernels/Kernels.h"

#include <arm_neon.h>

#include "matching/kernels/BlockScan.h"
#include "matching/kernels/NibbleFilter.h"

namespace Tavrin {
namespace Scan {
namespace {

struct NeonOps {
  using Vector = uint8x16_t;
  static constexpr std::size_t kLanes = 16;
  // 32 registers hold the 24 tables beside a block's own vectors (clang
  // keeps them there either way).
  static constexpr bool kHoldTables = true;
  // Whether the mixed filter takes two stages (see NibbleFilter).
  static constexpr bool kTwoStage = true;
  static Vector Load(const unsigned char* p) { return vld1q_u8(p); }
  // The first of the table's copies: one 16-byte lane is the whole vector.
  static Vector LoadTable(const unsigned char* p) { return vld1q_u8(p); }
  static Vector Nibble() { return vdupq_n_u8(0x0F); }
  static Vector And(Vector a, Vector b) { return vandq_u8(a, b); }
  static Vector Or(Vector a, Vector b) { return vorrq_u8(a, b); }
  static Vector And3(Vector a, Vector b, Vector c) { return And(And(a, b), c); }
  // TBL gives zero for an index of 16 or more; nibbles never are.
  static Vector Shuffle(Vector table, Vector index) {
    return vqtbl1q_u8(table, index);
  }
  // A shift of bytes, not of wider lanes: no mask needed after it.
  static Vector High(Vector bytes) { return vshrq_n_u8(bytes, 4); }
  // Bit i set when byte i is nonzero. The narrowing shift makes a nibble per
  // byte in one 64-bit word (all ones or zero); the integer unit then packs
  // the nibbles to bits, off the vector pipes.
  static std::uint64_t NonZero(Vector v) {
    const uint8x8_t nibbles =
        vshrn_n_u16(vreinterpretq_u16_u8(vtstq_u8(v, v)), 4);
    std::uint64_t m = vget_lane_u64(vreinterpret_u64_u8(nibbles), 0);
    m &= 0x1111111111111111u;                 // bit 4 i: byte i
    m = (m | m >> 3) & 0x0303030303030303u;   // 2 bits a byte
    m = (m | m >> 6) & 0x000F000F000F000Fu;   // 4 bits in 16
    m = (m | m >> 12) & 0x000000FF000000FFu;  // 8 bits in 32
    return (m | m >> 24) & 0xFFFFu;
  }
  // The saturating narrowing keeps each pair of bytes nonzero where either
  // is: one 64-bit word to test, for one instruction (a maximum across the
  // vector models slower).
  static bool IsZero(Vector v) {
    const uint8x8_t pairs = vqmovn_u16(vreinterpretq_u16_u8(v));
    return vget_lane_u64(vreinterpret_u64_u8(pairs), 0) == 0;
  }
  static Vector BothNonZero(Vector a, Vector b) { return vminq_u8(a, b); }
  static Vector ShiftUp(Vector v, std::size_t n) {
    const Vector zero = vdupq_n_u8(0);
    switch (n) {
      case 1: return vextq_u8(zero, v, 15);
      case 2: return vextq_u8(zero, v, 14);
      default: return vextq_u8(zero, v, 13);
    }
  }
  // Every byte 0x80 or more: the least of them is.
  static bool AllHigh(Vector v) { return vminvq_u8(v) >= 0x80u; }
};

struct NeonFilter : NibbleFilter<NeonOps> {
  using NibbleFilter<NeonOps>::NibbleFilter;
  static constexpr bool kMaskedEdges = false;
};

}  // namespace

TAVRIN_BLOCK_KERNEL(Neon, NeonFilter)

}  // namespace Scan
}  // namespace Tavrin
