// The one case fold of the library: ASCII A-Z to a-z, every other byte to
// itself. It is fixed, not taken from the C locale, so that a host switching
// to a Turkish, Latin-1 or any other locale can never change a verdict.
#ifndef TAVRIN_MATCHING_ASCIIFOLD_H_
#define TAVRIN_MATCHING_ASCIIFOLD_H_

namespace Tavrin {

constexpr unsigned char FoldAsciiCase(unsigned char byte) {
  return static_cast<unsigned char>(byte - 'A') < 26u
             ? static_cast<unsigned char>(byte | 0x20u)
             : byte;
}

constexpr bool EqualIgnoringAsciiCase(char a, char b) {
  return FoldAsciiCase(static_cast<unsigned char>(a)) ==
         FoldAsciiCase(static_cast<unsigned char>(b));
}

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_ASCIIFOLD_H_
