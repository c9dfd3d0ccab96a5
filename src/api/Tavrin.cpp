// The library's two exported functions. Neither lets an exception out: a
// text that cannot be screened is treated as banned (fails closed).
#include "Tavrin.h"

#include <cstring>

#include "api/FilteredMarker.h"
#include "matching/Scanner.h"
#include "matching/WordList.h"

// The text is screened by TextHasBannedWord, which answers exactly as
// ContainsBannedWord over a private copy of the text would, without making
// the copy: it allocates nothing and takes no lock, so once the list is
// filled a call can no longer fail.
namespace Tavrin {

bool IsValid(char const* text) noexcept {
  if (!EnsureWordList()) return false;
  if (text == nullptr) return true;
  return !TextHasBannedWord(text, std::strlen(text));
}

bool Filtrate(char* out, unsigned int outSize, char const* in) noexcept {
  const bool list_filled = EnsureWordList();
  if (in == nullptr || out == nullptr) return false;
  // Compared at full width: a text of 4 GiB and 3 bytes is not 3 bytes long.
  const std::size_t length = std::strlen(in);
  if (length > outSize) return false;

  // An unfilled list means the text cannot be screened: it is treated as
  // banned. `in` is read whole before `out` is written.
  const bool banned = !list_filled || TextHasBannedWord(in, length);
  if (!banned) {
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
