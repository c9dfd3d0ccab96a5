#include "matching/RowSearch.h"

#include <algorithm>
#include <cstring>

#include "matching/AsciiFold.h"
#include "matching/Scanner.h"
#include "matching/WordList.h"

// Design: the scanner answers "any row here?" at memory speed, so the text
// is searched in spans of kSpanLength starts. A span where the scanner finds
// no row starting in it is skipped; in the others every start is tried
// against the rows, not yet found, whose folded first byte matches the
// text's. A row is unlinked from its first-byte list once found, so each row
// is confirmed once and the search stops when all are found. A clean text
// costs one scanner call; a megabytes-long line that is banned near its end
// costs a scan plus the literal check of the spans that hold a row.
namespace Tavrin {
namespace {

constexpr std::size_t kSpanLength = 16 * 1024;
constexpr unsigned char kNoRow = 0xFF;
static_assert(kBannedWordCount < kNoRow, "row indices fit a byte");

bool RowAt(const char* text, const char* row, std::size_t row_length) noexcept {
  for (std::size_t i = 0; i < row_length; ++i) {
    if (!EqualIgnoringAsciiCase(text[i], row[i])) return false;
  }
  return true;
}

}  // namespace

std::size_t FindEveryRow(const char* text, std::size_t length,
                         tavrin_match (&found)[kBannedWordCount]) noexcept {
  if (length == 0 || !TextHasBannedWord(text, length)) return 0;

  // The rows by folded first byte, each list in table order.
  unsigned char first_row[256];
  std::memset(first_row, kNoRow, sizeof first_row);
  unsigned char next_row[kBannedWordCount];
  std::size_t first_offset[kBannedWordCount];
  for (std::size_t r = kBannedWordCount; r-- > 0;) {
    const char* row = WordList[r].data();
    first_offset[r] = length;  // not found
    unsigned char& head =
        first_row[FoldAsciiCase(static_cast<unsigned char>(row[0]))];
    next_row[r] = head;
    head = static_cast<unsigned char>(r);
  }

  std::size_t rows_left = kBannedWordCount;
  for (std::size_t span = 0; span < length && rows_left > 0;
       span += kSpanLength) {
    const std::size_t span_end = span + std::min(kSpanLength, length - span);
    // Every row starting in [span, span_end) lies within [span, reach).
    const std::size_t reach =
        span_end + std::min(kLongestBannedWord - 1, length - span_end);
    if (!TextHasBannedWord(text + span, reach - span)) continue;
    for (std::size_t at = span; at < span_end; ++at) {
      unsigned char* link =
          &first_row[FoldAsciiCase(static_cast<unsigned char>(text[at]))];
      while (*link != kNoRow) {
        const std::size_t r = *link;
        const NoCaseString& row = WordList[r];
        if (row.size() <= length - at && RowAt(text + at, row.data(), row.size())) {
          first_offset[r] = at;
          --rows_left;
          *link = next_row[r];  // found: never tried again
        } else {
          link = &next_row[r];
        }
      }
    }
  }

  std::size_t n = 0;
  for (std::size_t r = 0; r < kBannedWordCount; ++r) {
    if (first_offset[r] != length) {
      found[n++] = {static_cast<unsigned>(r + 1), first_offset[r]};
    }
  }
  return n;
}

}  // namespace Tavrin
