// The library's two exported functions. Neither lets an exception out: a
// text that cannot be screened is treated as banned (fails closed).
#include "Tavrin.h"

#include <cstring>

#include "api/FilteredMarker.h"
#include "matching/NoCaseString.h"
#include "matching/WordList.h"

namespace Tavrin {
namespace {

enum class Verdict { kClean, kBanned, kUnscreened };

// Screens `text` against the filled word list through a private copy.
Verdict Screen(const char* text) noexcept {
  try {
    const NoCaseString copy(text);
    return ContainsBannedWord(copy) ? Verdict::kBanned : Verdict::kClean;
  } catch (...) {
    return Verdict::kUnscreened;
  }
}

}  // namespace

bool IsValid(char const* text) noexcept {
  if (!EnsureWordList()) return false;
  if (text == nullptr) return true;
  return Screen(text) == Verdict::kClean;
}

bool Filtrate(char* out, unsigned int outSize, char const* in) noexcept {
  const bool list_filled = EnsureWordList();
  if (in == nullptr || out == nullptr) return false;
  // Compared at full width: a text of 4 GiB and 3 bytes is not 3 bytes long.
  const std::size_t length = std::strlen(in);
  if (length > outSize) return false;

  const Verdict verdict = list_filled ? Screen(in) : Verdict::kUnscreened;
  if (verdict == Verdict::kClean) {
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
