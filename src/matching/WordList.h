// The process-wide word list built from the table, its one-time fill, and the
// literal scan of a text against it.
#ifndef TAVRIN_MATCHING_WORDLIST_H_
#define TAVRIN_MATCHING_WORDLIST_H_

#include <vector>

#include "matching/NoCaseString.h"

namespace Tavrin {

// Empty from load until the first successful EnsureWordList(), then exactly
// the rows of BannedWordTable in table order until unload, never changed in
// between. Read it only after EnsureWordList() has returned true.
extern std::vector<NoCaseString> WordList;

// Makes sure WordList is filled. Safe when many threads make the first call
// at once: one fills, the others wait for it. Returns false, leaving WordList
// empty so that a later call tries again, when storage for the list cannot
// be had; never throws.
bool EnsureWordList() noexcept;

// True when some entry of WordList occurs in `text` (NoCaseString::find),
// walking the list in table order and stopping at the first entry found.
// This literal walk is the reference model of the library's verdicts.
bool ContainsBannedWord(const NoCaseString& text) noexcept;

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_WORDLIST_H_
