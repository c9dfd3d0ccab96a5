// NEON kernel: the nibble-table filter over 16 windows per block, with the
// 16-byte table lookup of aarch64's Advanced SIMD (TBL). Advanced SIMD is
// part of every ARMv8-A processor, so the kernel needs no option and runs on
// every aarch64 processor.
#include "matching/kernels/Kernels.h"

#include "matching/kernels/BlockScan.h"
#include "matching/kernels/NibbleFilter.h"
#include "matching/kernels/neon/NeonVectors.h"

namespace Tavrin {
namespace Scan {
namespace {

struct NeonOps : NeonVectors {
  // 32 registers hold the 24 tables beside a block's own vectors (clang
  // keeps them there either way).
  static constexpr bool kHoldTables = true;
  // Whether the mixed filter takes two stages (see NibbleFilter).
  static constexpr bool kTwoStage = true;
  // No byte lookup of 128 entries: the high-run filter goes by nibbles.
  static constexpr bool kHighByteTables = false;
  static Vector And3(Vector a, Vector b, Vector c) { return And(And(a, b), c); }
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
  // The filter asks only whether each byte of the result is nonzero, and
  // the smaller of two bytes is nonzero exactly where both are: one
  // instruction instead of a compare and a mask.
  static Vector BothNonZero(Vector a, Vector b) { return vminq_u8(a, b); }
};

struct NeonFilter : NibbleFilter<NeonOps> {
  using NibbleFilter<NeonOps>::NibbleFilter;
  static constexpr bool kMaskedEdges = false;
};

}  // namespace

TAVRIN_BLOCK_KERNEL(Neon, NeonFilter)

}  // namespace Scan
}  // namespace Tavrin
