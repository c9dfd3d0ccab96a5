#include "matching/NoCaseString.h"

#include "matching/AsciiFold.h"

namespace Tavrin {

bool NoCaseTraits::eq(char a, char b) noexcept {
  return EqualIgnoringAsciiCase(a, b);
}

NoCaseString::NoCaseString(const char* text) : bytes_(text) {}

NoCaseString::size_type NoCaseString::find(
    const NoCaseString& word) const noexcept {
  const size_type n = size();
  const size_type m = word.size();
  if (m > n || n == 0) return npos;
  if (m == 0) return 0;
  const char* text = data();
  const char* pattern = word.data();
  for (size_type i = 0; i + m <= n; ++i) {
    size_type j = 0;
    while (j < m && NoCaseTraits::eq(text[i + j], pattern[j])) ++j;
    if (j == m) return i;
  }
  return npos;
}

}  // namespace Tavrin
