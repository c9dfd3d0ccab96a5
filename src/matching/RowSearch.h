// Which rows, and where: every row of BannedWordTable that occurs in a text,
// in table order, each with the offset of its first occurrence. This is what
// tavrin_find answers and what the tool's explain prints; the verdicts
// themselves come from the scanner.
#ifndef TAVRIN_MATCHING_ROWSEARCH_H_
#define TAVRIN_MATCHING_ROWSEARCH_H_

#include <cstddef>

#include "matching/BannedWordTable.h"
#include "tavrin_c.h"

namespace Tavrin {

// Writes one tavrin_match (the row, numbered from 1, and the offset of its
// first occurrence) for each row that occurs in text[0 .. length),
// in table order, to found[0 .. n), and returns n (0 when the text is clean).
// Bytes compare as NoCaseString::find compares them, so a row occurs exactly
// when the literal walk over WordList finds it, at the offset find reports.
// Zero bytes are ordinary bytes: no row holds one, so no match crosses one.
// Reads nothing outside text[0 .. length), copies nothing, allocates
// nothing. Call only after EnsureWordList().
std::size_t FindEveryRow(const char* text, std::size_t length,
                         tavrin_match (&found)[kBannedWordCount]) noexcept;

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_ROWSEARCH_H_
