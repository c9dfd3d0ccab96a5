// The aarch64 Advanced SIMD vector operations the kernel's scan
// (NeonKernel.cpp) and its UTF-8 conversion (NeonUtf8.cpp) are written over:
// 16 bytes at a time, with TBL's table lookup. Internal linkage.
#ifndef TAVRIN_MATCHING_KERNELS_NEON_NEONVECTORS_H_
#define TAVRIN_MATCHING_KERNELS_NEON_NEONVECTORS_H_

#include <arm_neon.h>

#include <cstddef>
#include <cstdint>

namespace Tavrin {
namespace Scan {
namespace {

struct NeonVectors {
  using Vector = uint8x16_t;
  static constexpr std::size_t kLanes = 16;
  static Vector Load(const unsigned char* p) { return vld1q_u8(p); }
  static void Store(unsigned char* p, Vector v) { vst1q_u8(p, v); }
  // The first 16 bytes of a table (the scan's tables are repeated in four
  // copies; one lane is the whole vector here).
  static Vector LoadTable(const std::uint8_t* p) { return vld1q_u8(p); }
  static Vector Zero() { return vdupq_n_u8(0); }
  static Vector Byte(std::uint8_t b) { return vdupq_n_u8(b); }
  static Vector And(Vector a, Vector b) { return vandq_u8(a, b); }
  static Vector Or(Vector a, Vector b) { return vorrq_u8(a, b); }
  static Vector Xor(Vector a, Vector b) { return veorq_u8(a, b); }
  static Vector AndByte(Vector v, std::uint8_t b) { return And(v, Byte(b)); }
  // TBL gives zero for an index of 16 or more (nibbles never are).
  static Vector Shuffle(Vector table, Vector index) { return vqtbl1q_u8(table, index); }
  static Vector Low(Vector v) { return AndByte(v, 0x0F); }
  // A shift of bytes, not of wider lanes: no mask needed after it.
  static Vector High(Vector v) { return vshrq_n_u8(v, 4); }
  // v's bytes moved up 1, 2 or 3 places, the last of `before` shifted in.
  static Vector Before1(Vector v, Vector before) { return vextq_u8(before, v, 15); }
  static Vector Before2(Vector v, Vector before) { return vextq_u8(before, v, 14); }
  static Vector Before3(Vector v, Vector before) { return vextq_u8(before, v, 13); }
  // The saturating narrowing keeps each pair of bytes nonzero where either
  // is: one 64-bit word to test, for one instruction (a maximum across the
  // vector models slower).
  static bool IsZero(Vector v) {
    const uint8x8_t pairs = vqmovn_u16(vreinterpretq_u16_u8(v));
    return vget_lane_u64(vreinterpret_u64_u8(pairs), 0) == 0;
  }
  // Every byte 0x80 or more: the least of them is.
  static bool AllHigh(Vector v) { return vminvq_u8(v) >= 0x80u; }
};

}  // namespace
}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_NEON_NEONVECTORS_H_
