// The SSSE3 vector operations the kernel's scan (Ssse3Kernel.cpp) and its
// UTF-8 conversion (Ssse3Utf8.cpp) are written over: 16 bytes at a time.
// Included only by files compiled with -mssse3; internal linkage.
#ifndef TAVRIN_MATCHING_KERNELS_SSSE3_SSSE3VECTORS_H_
#define TAVRIN_MATCHING_KERNELS_SSSE3_SSSE3VECTORS_H_

#include <tmmintrin.h>

#include <cstddef>
#include <cstdint>

namespace Tavrin {
namespace Scan {
namespace {

struct Ssse3Vectors {
  using Vector = __m128i;
  static constexpr std::size_t kLanes = 16;
  static Vector Load(const unsigned char* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  }
  static void Store(unsigned char* p, Vector v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
  }
  // A 16-byte aligned table.
  static Vector LoadTable(const std::uint8_t* p) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
  }
  static Vector Zero() { return _mm_setzero_si128(); }
  static Vector Byte(std::uint8_t b) { return _mm_set1_epi8(static_cast<char>(b)); }
  static Vector And(Vector a, Vector b) { return _mm_and_si128(a, b); }
  static Vector Or(Vector a, Vector b) { return _mm_or_si128(a, b); }
  static Vector Xor(Vector a, Vector b) { return _mm_xor_si128(a, b); }
  static Vector AndByte(Vector v, std::uint8_t b) { return And(v, Byte(b)); }
  // table[index & 15]; 0 where index's top bit is set.
  static Vector Shuffle(Vector table, Vector index) { return _mm_shuffle_epi8(table, index); }
  static Vector Low(Vector v) { return AndByte(v, 0x0F); }
  static Vector High(Vector v) { return AndByte(_mm_srli_epi16(v, 4), 0x0F); }
  // v's bytes moved up 1, 2 or 3 places, the last of `before` shifted in.
  static Vector Before1(Vector v, Vector before) { return _mm_alignr_epi8(v, before, 15); }
  static Vector Before2(Vector v, Vector before) { return _mm_alignr_epi8(v, before, 14); }
  static Vector Before3(Vector v, Vector before) { return _mm_alignr_epi8(v, before, 13); }
  static bool IsZero(Vector v) {  // ptest is SSE4.1
    return _mm_movemask_epi8(_mm_cmpeq_epi8(v, Zero())) == 0xFFFF;
  }
  // Every byte 0x80 or more: every byte's top bit set.
  static bool AllHigh(Vector v) { return _mm_movemask_epi8(v) == 0xFFFF; }
};

}  // namespace
}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_SSSE3_SSSE3VECTORS_H_
