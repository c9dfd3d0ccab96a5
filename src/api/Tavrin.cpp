// The library's two exported functions. Neither can fail or let an
// exception out: the first call builds everything in static storage
// (EnsureWordList), and a text is screened in place by TextHasBannedWord,
// which answers exactly as ContainsBannedWord over a private copy of the
// text would, without making the copy, allocating or locking.
#include "Tavrin.h"

#include <cstring>

#include "api/FilteredMarker.h"
#include "matching/Scanner.h"
#include "matching/LibrarySetup.h"

namespace Tavrin {

bool IsValid(char const* text) noexcept {
  EnsureWordList();
  if (text == nullptr) return true;
  return !TextHasBannedWord(text, std::strlen(text));
}

bool Filtrate(char* out, unsigned int outSize, char const* in) noexcept {
  EnsureWordList();
  if (in == nullptr || out == nullptr) return false;
  // Compared at full width: a text of 4 GiB and 3 bytes is not 3 bytes long.
  const std::size_t length = std::strlen(in);
  if (length > outSize) return false;

  // `in` is read whole before `out` is written.
  if (!TextHasBannedWord(in, length)) {
    // `in` is unchanged since it was screened; memmove copies it correctly
    // however it overlaps `out`.
    std::memmove(out, in, length + 1);
    return false;
  }
  if (outSize >= kFilteredMarkerLength) {
    std::memcpy(out, FilteredMarker, sizeof(FilteredMarker));
  } else {
    // The marker does not fit; an empty text keeps the banned one out.
    out[0] = '\0';
  }
  return true;
}

}  // namespace Tavrin
