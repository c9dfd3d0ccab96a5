// The process-wide word list built from the table, its one-time fill, and the
// literal scan of a text against it.
#ifndef TAVRIN_MATCHING_WORDLIST_H_
#define TAVRIN_MATCHING_WORDLIST_H_

#include <atomic>
#include <cstddef>
#include <new>

#include "matching/BannedWordTable.h"
#include "matching/NoCaseString.h"

namespace Tavrin {

// An ordered list of at most kBannedWordCount entries, kept in storage of its
// own rather than on the heap. The rows (2 to 10 bytes) are short enough for
// NoCaseString to hold them inline in every standard library we build with
// (libstdc++ holds 15 bytes inline, libc++ 10 on 32-bit processors), so
// filling the list needs no heap memory at all and cannot fail. The
// allocation tests (under AddressSanitizer's allocator, and a Windows host
// with its memory exhausted) check that the first call touches no heap.
class BannedWordList {
 public:
  BannedWordList() noexcept {}
  ~BannedWordList() { clear(); }
  BannedWordList(const BannedWordList&) = delete;
  BannedWordList& operator=(const BannedWordList&) = delete;

  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }
  const NoCaseString* begin() const noexcept {
    return std::launder(reinterpret_cast<const NoCaseString*>(storage_));
  }
  const NoCaseString* end() const noexcept { return begin() + size_; }
  const NoCaseString& operator[](std::size_t i) const noexcept {
    return begin()[i];
  }

  // Appends a copy of `word`; requires size() < kBannedWordCount.
  void push_back(const NoCaseString& word) {
    new (storage_ + size_ * sizeof(NoCaseString)) NoCaseString(word);
    ++size_;
  }
  // Destroys the entries, last first.
  void clear() noexcept {
    while (size_ > 0) {
      --size_;
      begin()[size_].~NoCaseString();
    }
  }

 private:
  alignas(NoCaseString) unsigned char
      storage_[kBannedWordCount * sizeof(NoCaseString)];
  std::size_t size_ = 0;
};

// Empty from load until the first EnsureWordList(), then exactly the rows of
// BannedWordTable in table order until unload, never changed in between.
// Read it only after EnsureWordList() has returned.
extern BannedWordList WordList;

enum WordListState : int { kWordListEmpty, kWordListFilling, kWordListReady };
// Constant-initialised, so it is valid before any static constructor runs.
extern std::atomic<int> word_list_state;

// EnsureWordList's first call: fills WordList, compiles the scanner from its
// entries and picks the scanner's kernel, then publishes all three at once.
void PrepareWordListOnce() noexcept;

// Makes sure the library can screen: WordList filled, the scanner compiled
// from it and its kernel chosen (see Scanner.h). The first call in the
// process does the work; one thread does it while the others that call at
// the same moment wait. Every later call is one acquire load. It cannot
// fail: everything is built in static storage, with no heap memory.
inline void EnsureWordList() noexcept {
  if (word_list_state.load(std::memory_order_acquire) != kWordListReady)
    PrepareWordListOnce();
}

// True when some entry of WordList occurs in `text` (NoCaseString::find),
// walking the list in table order and stopping at the first entry found.
// This literal walk is the reference model of the library's verdicts.
bool ContainsBannedWord(const NoCaseString& text) noexcept;

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_WORDLIST_H_
