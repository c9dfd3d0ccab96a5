// AVX-512 kernel: the nibble-table filter over 64 windows per block, with the
// byte shuffle and byte masks of AVX-512BW (Avx512Filter.h). This file alone
// is compiled with -mavx512bw; it runs only where the processor has
// AVX-512F and AVX-512BW and the operating system saves the 512-bit
// registers.
#include "matching/kernels/avx512/Avx512Filter.h"

namespace Tavrin {
namespace Scan {

TAVRIN_AVX512_KERNEL(Avx512, Avx512Ops)

}  // namespace Scan
}  // namespace Tavrin
