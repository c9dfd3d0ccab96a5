// The literal walk over WordList: the reference model of the library's
// verdicts, which the tests and the benchmark hold the scanner to. The
// library itself screens with the scanner (Scanner.h), which answers the
// same for every text.
#ifndef TAVRIN_MATCHING_LITERALWALK_H_
#define TAVRIN_MATCHING_LITERALWALK_H_

#include "matching/NoCaseString.h"

namespace Tavrin {

// True when some entry of WordList occurs in `text` (NoCaseString::find),
// walking the list in table order and stopping at the first entry found.
// EnsureWordList() must have been called first.
bool ContainsBannedWord(const NoCaseString& text) noexcept;

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_LITERALWALK_H_
