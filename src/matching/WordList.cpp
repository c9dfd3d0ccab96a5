#include "matching/WordList.h"

#include <atomic>

#include "matching/BannedWordTable.h"
#include "matching/ThreadYield.h"

namespace Tavrin {

BannedWordList WordList;

namespace {

enum FillState : int { kEmpty = 0, kFilling = 1, kFilled = 2 };

// Constant-initialised, so it is valid before any static constructor runs.
std::atomic<int> fill_state{kEmpty};

// Readers look at WordList only once fill_state says kFilled, so the list is
// filled in place; a failure part way is rolled back to empty.
bool FillWordList() noexcept {
  try {
    for (const char* row : BannedWordTable) {
      const NoCaseString temporary(row);
      WordList.push_back(temporary);
    }
    return true;
  } catch (...) {
    WordList.clear();
    return false;
  }
}

}  // namespace

bool EnsureWordList() noexcept {
  for (;;) {
    int state = fill_state.load(std::memory_order_acquire);
    if (state == kFilled) return true;
    if (state == kEmpty &&
        fill_state.compare_exchange_strong(state, kFilling,
                                           std::memory_order_acquire)) {
      const bool filled = FillWordList();
      fill_state.store(filled ? kFilled : kEmpty, std::memory_order_release);
      return filled;
    }
    // Another thread is filling; the fill takes microseconds.
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
