// AVX-512 VBMI kernel: the AVX-512 kernel (avx512/Avx512Filter.h) with the
// high-run filter by whole bytes. A run of text with no ASCII byte looks
// each of a window's last three bytes up in a 128-entry table with one
// two-table byte permute (vpermi2b), where AVX-512BW alone takes two nibble
// shuffles and the nibble split; the entries are the nibble tables' ANDs, so
// the candidates are the same. This file alone is compiled with
// -mavx512vbmi; it runs only where the processor has AVX-512 VBMI.
#include "matching/kernels/avx512/Avx512Filter.h"

namespace Tavrin {
namespace Scan {
namespace {

struct Avx512vbmiOps : Avx512Ops {
  static constexpr bool kHighByteTables = true;
  // Entry bytes & 127 of the 128 bytes lower[0..63], upper[0..63].
  static Vector HighByteLookup(Vector lower, Vector upper, Vector bytes) {
    return _mm512_permutex2var_epi8(lower, bytes, upper);
  }
};

}  // namespace

TAVRIN_AVX512_KERNEL(Avx512vbmi, Avx512vbmiOps)

}  // namespace Scan
}  // namespace Tavrin
