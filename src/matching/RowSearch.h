// Which rows, and where: every row of BannedWordTable that occurs in a text,
// in table order, each with the offset of its first occurrence. This is what
// tavrin_find answers and what the tool's explain prints; the verdicts
// themselves come from the scanner.
#ifndef TAVRIN_MATCHING_ROWSEARCH_H_
#define TAVRIN_MATCHING_ROWSEARCH_H_

#include <cstddef>

#include "matching/BannedWordTable.h"

namespace Tavrin {

struct RowOccurrence {
  unsigned row;        // 1 to kBannedWordCount, as numbered in the table
  std::size_t offset;  // of the row's first occurrence in the text
};

// Writes one RowOccurrence for each row that occurs in text[0 .. length),
// in table order, to found[0 .. n), and returns n (0 when the text is clean).
// Bytes compare as NoCaseString::find compares them, so a row occurs exactly
// when the literal walk over WordList finds it, at the offset find reports.
// Zero bytes are ordinary bytes: no row holds one, so no match crosses one.
// Reads nothing outside text[0 .. length), copies nothing, allocates
// nothing. Call only after EnsureWordList().
std::size_t FindEveryRow(const char* text, std::size_t length,
                         RowOccurrence (&found)[kBannedWordCount]) noexcept;

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_ROWSEARCH_H_
