// The process-wide word list built from the table, its one-time fill, and the
// literal scan of a text against it.
#ifndef TAVRIN_MATCHING_WORDLIST_H_
#define TAVRIN_MATCHING_WORDLIST_H_

#include <cstddef>
#include <new>

#include "matching/BannedWordTable.h"
#include "matching/NoCaseString.h"

namespace Tavrin {

// An ordered list of at most kBannedWordCount entries, kept in storage of its
// own rather than on the heap. The rows are short enough for NoCaseString to
// hold them inline, so filling the list needs no heap memory at all: the
// first call cannot fail for want of memory. That matters beyond tidiness:
// on runtimes whose exception state lives in emulated thread-local storage
// (the 32-bit Windows build), the first exception thrown on a thread itself
// needs heap memory, and throwing bad_alloc under exhaustion aborts the host.
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

  // Appends a copy of `word`; requires size() < kBannedWordCount. Throws
  // only what copying a NoCaseString throws, leaving the list as it was.
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

// Empty from load until the first successful EnsureWordList(), then exactly
// the rows of BannedWordTable in table order until unload, never changed in
// between. Read it only after EnsureWordList() has returned true.
extern BannedWordList WordList;

// Makes sure WordList is filled. Safe when many threads make the first call
// at once: one fills, the others wait for it. Returns false, leaving WordList
// empty so that a later call tries again, if an entry cannot be copied (which
// would take a row too long to be held inline); never throws.
bool EnsureWordList() noexcept;

// True when some entry of WordList occurs in `text` (NoCaseString::find),
// walking the list in table order and stopping at the first entry found.
// This literal walk is the reference model of the library's verdicts.
bool ContainsBannedWord(const NoCaseString& text) noexcept;

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_WORDLIST_H_
