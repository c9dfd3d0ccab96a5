// AVX-512 UTF-8 to GBK conversion: Keiser and Lemire's check over 64 bytes,
// code points decoded 64 at a time, and a block's GBK bytes compressed out
// of a copy of it in one instruction; short texts with masked loads. Compiled with the kernel's -mavx512bw
// and the list's -mavx512vbmi2 -mpopcnt -mbmi for the byte compress of
// AVX512_VBMI2; it runs only where the processor has those too (elsewhere
// the AVX2 conversion does).
#include "matching/kernels/Utf8Blocks.h"
#include "matching/kernels/avx512/Avx512Vectors.h"

// GCC 12's AVX-512 intrinsics (extract, insert, widen, narrow, gather) start
// from a self-initialised _mm512_undefined_*, which -Wmaybe-uninitialized
// takes for a read of an uninitialised variable once they are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace Tavrin {
namespace Scan {
namespace {

struct Avx512Utf8Ops : Avx512Vectors {
  static constexpr bool kWholeBlocks = true;
  static Vector AtLeast(Vector v, std::uint8_t b) {
    return _mm512_movm_epi8(_mm512_cmpge_epu8_mask(v, Byte(b)));
  }
  static std::uint64_t HighBits(const Vector* v) { return _mm512_movepi8_mask(v[0]); }
  // 10xxxxxx: as signed bytes, below -64.
  static std::uint64_t Continuations(const Vector* v) {
    return _mm512_cmplt_epi8_mask(v[0], Byte(0xC0));
  }

  template <int n>
  static Vector ShiftLeft(Vector v) {
    return AndByte(_mm512_slli_epi16(v, n), static_cast<std::uint8_t>(0xFF << n));
  }
  template <int n>
  static Vector ShiftRight(Vector v) {
    return AndByte(_mm512_srli_epi16(v, n), static_cast<std::uint8_t>(0xFF >> n));
  }
  // 0xCA: a where the mask is set, else b.
  static Vector Select(Vector mask, Vector a, Vector b) {
    return _mm512_ternarylogic_epi64(mask, a, b, 0xCA);
  }
  // unpack pairs bytes within 16-byte lanes; the lanes' halves are then put
  // in order.
  static void StoreWords(Vector low, Vector high, std::uint16_t* words) {
    const Vector first = _mm512_unpacklo_epi8(low, high);
    const Vector second = _mm512_unpackhi_epi8(low, high);
    _mm512_storeu_si512(words, _mm512_permutex2var_epi64(
                                   first, _mm512_set_epi64(11, 10, 3, 2, 9, 8, 1, 0), second));
    _mm512_storeu_si512(words + 32, _mm512_permutex2var_epi64(
                                        first, _mm512_set_epi64(15, 14, 7, 6, 13, 12, 5, 4),
                                        second));
  }

  // v's bytes shifted back by 1 and 2, the first of `next` shifted in.
  static Vector Above(Vector v, Vector next) {
    return _mm512_permutex2var_epi64(v, _mm512_set_epi64(9, 8, 7, 6, 5, 4, 3, 2), next);
  }
  static Vector After1(Vector v, Vector next) {
    return _mm512_alignr_epi8(Above(v, next), v, 1);
  }
  static Vector After2(Vector v, Vector next) {
    return _mm512_alignr_epi8(Above(v, next), v, 2);
  }

  // Each multibyte character's GBK form is written over its first two bytes
  // in a copy of the block, one looked up at a time (a gather of 16 forms
  // measured slower on AMD Zen 5, and so did gathering, decoding and
  // expanding them back without the copy); the bytes kept, each
  // character's first and the second of a two-byte form (never zero), are
  // then compressed out in one instruction. A form can only shorten its
  // character, so each fits in its own bytes; the second byte of a form
  // written at byte 63 lies one past the block, in staged[64]. Reads no
  // memory but the table.
  static std::size_t Emit(const std::uint16_t* gbk_forms, const unsigned char*,
                          const Vector* block, const Vector* next, std::uint64_t high,
                          std::uint64_t continuations, unsigned char* out) {
    alignas(64) std::uint16_t code_points[kUtf8BlockLength];
    alignas(64) unsigned char staged[kUtf8BlockLength + 2];
    const Vector v = block[0];
    DecodeVector<Avx512Utf8Ops>(v, After1(v, next[0]), After2(v, next[0]), code_points);
    _mm512_store_si512(staged, v);
    staged[kUtf8BlockLength] = 0;
    const std::uint64_t firsts = ~continuations;
    const std::uint64_t multibyte = high & firsts;
    for (std::uint64_t left = multibyte; left != 0; left &= left - 1) {
      const std::size_t first = static_cast<std::size_t>(__builtin_ctzll(left));
      const std::uint16_t form = gbk_forms[code_points[first]];
      std::memcpy(staged + first, &form, 2);
    }
    const Vector placed = _mm512_load_si512(staged);
    const std::uint64_t keep =
        firsts | (multibyte << 1 & _mm512_test_epi8_mask(placed, placed));
    _mm512_storeu_si512(out, _mm512_maskz_compress_epi8(keep, placed));
    std::size_t written = static_cast<std::size_t>(__builtin_popcountll(keep));
    out[written] = staged[kUtf8BlockLength];
    return written + (staged[kUtf8BlockLength] != 0);
  }

  // The bytes 0 .. n - 1 of a block (n clamped to 0 .. 64).
  static std::uint64_t FirstBytes(std::ptrdiff_t n) {
    return n <= 0 ? 0 : n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
  }

  // A text of fewer than 128 bytes (a line, a message) whole, without the
  // block loop, whose fixed costs are most of a short call's: its one or
  // two blocks read with masked loads (bytes past its end are zeros and
  // never read), checked, the zeros past it too (a character it ends cut
  // short), and converted with the zeros taken for continuations, which
  // keeps them out. Converted into a copy and moved to `out` if it fits;
  // where any check fails, nothing.
  static Utf8Blocks ConvertShort(const std::uint16_t* gbk_forms, const unsigned char* in,
                                 std::size_t length, unsigned char* out,
                                 std::size_t capacity) {
    if (length == 0) return {0, 0};  // `in` and `out` may be null
    const std::ptrdiff_t n = static_cast<std::ptrdiff_t>(length);
    const std::uint64_t inside[2] = {FirstBytes(n), FirstBytes(n - 64)};
    // The second block's address, where it holds bytes of the text (a
    // pointer past the text's end is not formed).
    const std::size_t second_at = inside[1] != 0 ? 64 : 0;
    const Vector zeros[1] = {Zero()};
    const Vector block[2][1] = {{_mm512_maskz_loadu_epi8(inside[0], in)},
                                {_mm512_maskz_loadu_epi8(inside[1], in + second_at)}};
    const std::uint64_t high[2] = {HighBits(block[0]), HighBits(block[1])};
    if ((high[0] | high[1]) == 0) {  // ASCII
      if (capacity < length) return {0, 0};
      _mm512_mask_storeu_epi8(out, inside[0], block[0][0]);
      _mm512_mask_storeu_epi8(out + second_at, inside[1], block[1][0]);
      return {length, length};
    }
    const Utf8Block<Avx512Utf8Ops> first{{block[0][0]}}, second{{block[1][0]}},
        none{{zeros[0]}};
    if (HasUtf8Errors(first, none) || HasUtf8Errors(second, first) ||
        (inside[1] != 0 && HasUtf8Errors(none, second)))
      return {0, 0};
    // Where `out` has the room the blocks may write, straight into it.
    alignas(64) unsigned char converted[2 * kUtf8BlockLength + kUtf8BlockRoom];
    unsigned char* const into =
        capacity >= sizeof converted ? out : converted;
    std::size_t written = Emit(gbk_forms, in, block[0], block[1], high[0],
                               Continuations(block[0]) | ~inside[0], into);
    if (inside[1] != 0)
      written += Emit(gbk_forms, in + second_at, block[1], zeros, high[1],
                      Continuations(block[1]) | ~inside[1], into + written);
    if (into == converted) {
      if (written > capacity) return {0, 0};
      const std::ptrdiff_t w = static_cast<std::ptrdiff_t>(written);
      _mm512_mask_storeu_epi8(out, FirstBytes(w), Load(converted));
      if (w > 64) _mm512_mask_storeu_epi8(out + 64, FirstBytes(w - 64), Load(converted + 64));
    }
    return {length, written};
  }
};

}  // namespace

TAVRIN_UTF8_KERNEL(Avx512, Avx512Utf8Ops)

}  // namespace Scan
}  // namespace Tavrin
