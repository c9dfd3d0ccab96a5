// The kernel for any processor: a table of the folded byte pairs that begin
// a row, looked up at every offset, then the exact check.
#include "matching/AsciiFold.h"
#include "matching/kernels/Kernels.h"

namespace Tavrin {
namespace scan {

bool ScanPortable(const ScanPatterns& patterns, const unsigned char* text,
                  std::size_t length) noexcept {
  if (length < 2) return false;
  unsigned previous = FoldAsciiCase(text[0]);
  for (std::size_t i = 1; i < length; ++i) {
    const unsigned current = FoldAsciiCase(text[i]);
    const unsigned key = previous << 8 | current;
    if ((patterns.pair_bits[key / 64] >> (key % 64) & 1u) &&
        RowMatchesAt(patterns, text, length, i - 1))
      return true;
    previous = current;
  }
  return false;
}

}  // namespace scan
}  // namespace Tavrin
