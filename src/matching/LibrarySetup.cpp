#include "matching/LibrarySetup.h"

#include "matching/BannedWordTable.h"
#include "matching/Scanner.h"
#include "matching/ThreadYield.h"
#include "matching/WordList.h"

namespace Tavrin {

std::atomic<int> library_state{kLibraryEmpty};

void PrepareLibraryOnce() noexcept {
  for (;;) {
    int state = library_state.load(std::memory_order_acquire);
    if (state == kLibraryReady) return;
    if (state == kLibraryEmpty &&
        library_state.compare_exchange_strong(state, kLibraryPreparing,
                                              std::memory_order_acquire)) {
      // Nobody reads WordList or the scanner before the state says ready,
      // so both are built in place.
      for (const char* row : BannedWordTable) WordList.push_back(NoCaseString(row));
      PrepareScanner();
      library_state.store(kLibraryReady, std::memory_order_release);
      return;
    }
    // Another thread is preparing; that takes a fraction of a millisecond.
    YieldThread();
  }
}

}  // namespace Tavrin
