#include "matching/LiteralWalk.h"

#include "matching/WordList.h"

namespace Tavrin {

bool ContainsBannedWord(const NoCaseString& text) noexcept {
  for (const NoCaseString& word : WordList) {
    if (word.size() > text.size()) continue;
    if (text.find(word) != NoCaseString::npos) return true;
  }
  return false;
}

}  // namespace Tavrin
