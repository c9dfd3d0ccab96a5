// The process-wide word list built from the table: its storage, and the
// list itself. It is filled by the library's setup (LibrarySetup.h).
#ifndef TAVRIN_MATCHING_WORDLIST_H_
#define TAVRIN_MATCHING_WORDLIST_H_

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

// Empty from load until the library's first call, then exactly the rows of
// BannedWordTable in table order until unload, never changed in between.
// Read it only after EnsureWordList() (LibrarySetup.h) has returned.
extern BannedWordList WordList;

}  // namespace Tavrin

#endif  // TAVRIN_MATCHING_WORDLIST_H_
