// The AVX-512 vector operations the kernel's scan (Avx512Kernel.cpp) and its
// UTF-8 conversion (Avx512Utf8.cpp) are written over: 64 bytes at a time,
// with AVX-512BW's byte masks, the byte shuffle working in each 16-byte
// lane. Included only by files compiled with -mavx512bw; internal linkage.
#ifndef TAVRIN_MATCHING_KERNELS_AVX512_AVX512VECTORS_H_
#define TAVRIN_MATCHING_KERNELS_AVX512_AVX512VECTORS_H_

#include <immintrin.h>

#include <cstddef>
#include <cstdint>

namespace Tavrin {
namespace Scan {
namespace {

struct Avx512Vectors {
  using Vector = __m512i;
  static constexpr std::size_t kLanes = 64;
  static Vector Load(const unsigned char* p) { return _mm512_loadu_si512(p); }
  static void Store(unsigned char* p, Vector v) { _mm512_storeu_si512(p, v); }
  // A 64-byte aligned table.
  static Vector LoadTable(const std::uint8_t* p) { return _mm512_load_si512(p); }
  static Vector Zero() { return _mm512_setzero_si512(); }
  static Vector Byte(std::uint8_t b) { return _mm512_set1_epi8(static_cast<char>(b)); }
  static Vector And(Vector a, Vector b) { return _mm512_and_si512(a, b); }
  static Vector Or(Vector a, Vector b) { return _mm512_or_si512(a, b); }
  static Vector Xor(Vector a, Vector b) { return _mm512_xor_si512(a, b); }
  static Vector AndByte(Vector v, std::uint8_t b) { return And(v, Byte(b)); }
  // table[index & 15] in each 16-byte lane; 0 where index's top bit is set.
  static Vector Shuffle(Vector table, Vector index) {
    return _mm512_shuffle_epi8(table, index);
  }
  static Vector Low(Vector v) { return AndByte(v, 0x0F); }
  static Vector High(Vector v) { return AndByte(_mm512_srli_epi16(v, 4), 0x0F); }
  // v's bytes moved up 1, 2 or 3 places, the last of `before` shifted in.
  // alignr shifts within 16-byte lanes: each lane's lower neighbour (the
  // last lane of `before` for the first) is brought beside it first.
  static Vector Below(Vector v, Vector before) {
    return _mm512_permutex2var_epi64(v, _mm512_set_epi64(5, 4, 3, 2, 1, 0, 15, 14), before);
  }
  static Vector Before1(Vector v, Vector before) {
    return _mm512_alignr_epi8(v, Below(v, before), 15);
  }
  static Vector Before2(Vector v, Vector before) {
    return _mm512_alignr_epi8(v, Below(v, before), 14);
  }
  static Vector Before3(Vector v, Vector before) {
    return _mm512_alignr_epi8(v, Below(v, before), 13);
  }
  static bool IsZero(Vector v) { return _mm512_test_epi8_mask(v, v) == 0; }
  // Every byte 0x80 or more: every byte's top bit set.
  static bool AllHigh(Vector v) { return _mm512_movepi8_mask(v) == ~std::uint64_t{0}; }
};

}  // namespace
}  // namespace Scan
}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_KERNELS_AVX512_AVX512VECTORS_H_
