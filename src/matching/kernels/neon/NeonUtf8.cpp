// NEON UTF-8 to GBK conversion: Keiser and Lemire's check with TBL, code
// points decoded 16 bytes at a time, and each character's GBK form looked
// up and written in turn (Utf8Blocks.h). Advanced SIMD is part of every
// ARMv8-A processor, so it needs no option, as the kernel does not.
#include "matching/kernels/Utf8Blocks.h"
#include "matching/kernels/neon/NeonVectors.h"

namespace Tavrin {
namespace Scan {
namespace {

struct NeonUtf8Ops : NeonVectors {
  static constexpr bool kWholeBlocks = false;
  static Vector AtLeast(Vector v, std::uint8_t b) { return vcgeq_u8(v, vdupq_n_u8(b)); }
  // A bit per byte of four masks (0xFF or 0): each byte keeps its bit's
  // weight, and pairwise additions sum the weights of each eight bytes.
  static std::uint64_t Bits(Vector m0, Vector m1, Vector m2, Vector m3) {
    const Vector weights = {1, 2, 4, 8, 16, 32, 64, 128, 1, 2, 4, 8, 16, 32, 64, 128};
    const Vector a = vpaddq_u8(And(m0, weights), And(m1, weights));
    const Vector b = vpaddq_u8(And(m2, weights), And(m3, weights));
    Vector sums = vpaddq_u8(a, b);
    sums = vpaddq_u8(sums, sums);
    return vgetq_lane_u64(vreinterpretq_u64_u8(sums), 0);
  }
  static Vector IsHigh(Vector v) { return vtstq_u8(v, vdupq_n_u8(0x80)); }
  static std::uint64_t HighBits(const Vector* v) {
    return Bits(IsHigh(v[0]), IsHigh(v[1]), IsHigh(v[2]), IsHigh(v[3]));
  }
  static Vector IsContinuation(Vector v) {
    return vceqq_u8(AndByte(v, 0xC0), vdupq_n_u8(0x80));
  }
  static std::uint64_t Continuations(const Vector* v) {
    return Bits(IsContinuation(v[0]), IsContinuation(v[1]), IsContinuation(v[2]),
                IsContinuation(v[3]));
  }
  template <int n>
  static Vector ShiftLeft(Vector v) { return vshlq_n_u8(v, n); }
  template <int n>
  static Vector ShiftRight(Vector v) { return vshrq_n_u8(v, n); }
  static Vector Select(Vector mask, Vector a, Vector b) { return vbslq_u8(mask, a, b); }
  // ST2 interleaves the two: low, high, low, high: little-endian words.
  static void StoreWords(Vector low, Vector high, std::uint16_t* words) {
    vst2q_u8(reinterpret_cast<std::uint8_t*>(words), (uint8x16x2_t{{low, high}}));
  }
};

}  // namespace

TAVRIN_UTF8_KERNEL(Neon, NeonUtf8Ops)

}  // namespace Scan
}  // namespace Tavrin
