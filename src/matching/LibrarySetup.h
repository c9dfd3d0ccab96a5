// The library's one-time setup, made by its first call: the word list
// filled, the scanner's tables built and its kernel picked, all published at
// once.
#ifndef TAVRIN_MATCHING_LIBRARYSETUP_H_
#define TAVRIN_MATCHING_LIBRARYSETUP_H_

#include <atomic>

namespace Tavrin {

enum LibraryState : int { kLibraryEmpty, kLibraryPreparing, kLibraryReady };
// Constant-initialised, so it is valid before any static constructor runs.
extern std::atomic<int> library_state;

// EnsureWordList's first call: fills WordList from BannedWordTable, prepares
// the scanner (PrepareScanner: its tables, from the same rows, and its
// kernel), then publishes all of it with one release store. The threads
// that call at the same moment wait until it is done.
void PrepareLibraryOnce() noexcept;

// Makes sure the library can screen: WordList filled, the scanner prepared.
// Each exported call makes it first. The first call in the process does the
// work, with no heap memory and about 4 KiB of stack (a thread with a 16 KiB
// stack can make it); every later call is one acquire load. It cannot fail.
inline void EnsureWordList() noexcept {
  if (library_state.load(std::memory_order_acquire) != kLibraryReady)
    PrepareLibraryOnce();
}

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_LIBRARYSETUP_H_
