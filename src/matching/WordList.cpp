#include "matching/WordList.h"

#include "matching/BannedWordTable.h"
#include "matching/Scanner.h"
#include "matching/ThreadYield.h"

namespace Tavrin {

BannedWordList WordList;
std::atomic<int> word_list_state{kWordListEmpty};

void PrepareWordListOnce() noexcept {
  for (;;) {
    int state = word_list_state.load(std::memory_order_acquire);
    if (state == kWordListReady) return;
    if (state == kWordListEmpty &&
        word_list_state.compare_exchange_strong(state, kWordListFilling,
                                                std::memory_order_acquire)) {
      // Nobody reads WordList or the scanner before the state says ready,
      // so both are built in place.
      for (const char* row : BannedWordTable) WordList.push_back(NoCaseString(row));
      CompileScanner(WordList);
      word_list_state.store(kWordListReady, std::memory_order_release);
      return;
    }
    // Another thread is filling; that takes a fraction of a millisecond.
    YieldThread();
  }
}

bool ContainsBannedWord(const NoCaseString& text) noexcept {
  for (const NoCaseString& word : WordList) {
    if (word.size() > text.size()) continue;
    if (text.find(word) != NoCaseString::npos) return true;
  }
  return false;
}

}  // namespace Tavrin
