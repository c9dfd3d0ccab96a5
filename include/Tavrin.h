// Tavrin: screens text against a fixed, built-in list of 54 banned words.
//
// A text is a zero-terminated byte string: ASCII, or Chinese in GBK (code
// page 936). It is never decoded. A text is banned when any row of the
// built-in list occurs anywhere in it as a run of bytes, with the ASCII
// letters A-Z and a-z compared without regard to case (and no other bytes
// folded, whatever locale or code page the host has set). Matches ignore word
// boundaries ("Essex" holds "sex") and character boundaries (a match may
// start on the second byte of one GBK character and end inside the next).
//
// Both functions may be called from any number of threads at once, at any
// time while the library is loaded, in any order; the first call builds the
// word list. They never throw, never allocate, never keep a pointer passed to
// them, and never write outside the buffer they were given. Screening cannot
// fail: the word list is built in the library's own static storage.
//
// Stack: a call, the first included, needs about 4 KiB of the caller's stack
// (the first builds its tables in static storage, not on the stack), so a
// thread or coroutine with a 16 KiB stack, the least glibc allows, can make
// any call at any time.
//
// This header compiles as C++98 or any later standard.

#ifndef TAVRIN_H_
#define TAVRIN_H_

#if defined(_WIN32)
#  if defined(TAVRIN_BUILDING_LIBRARY)
// The module exports its functions by their decorated names through a module
// definition file, not through declspec.
#    define TAVRIN_API
#  else
#    define TAVRIN_API __declspec(dllimport)
#  endif
#else
#  define TAVRIN_API __attribute__((visibility("default")))
#endif

#if defined(__cplusplus) && __cplusplus >= 201103L
#  define TAVRIN_NOEXCEPT noexcept
#else
#  define TAVRIN_NOEXCEPT
#endif

namespace Tavrin {

// Returns true when no banned word occurs in `text`, read up to its first
// zero byte. A null `text` and the empty text are valid (true).
TAVRIN_API bool IsValid(char const* text) TAVRIN_NOEXCEPT;

// Writes a filtered copy of `in` to `out`. `outSize` is the longest text, not
// counting the terminating zero, that `out` can take: `out` must hold at
// least outSize + 1 bytes. `in` and `out` may be the same buffer or overlap in
// any way (filtering in place is fine).
//
// Returns true when `out` now holds the replacement "***<br>" because `in`
// holds a banned word. The whole text is replaced,
// not only the word. When outSize is below 7 the replacement does not fit:
// then only out[0] is written, with a zero (an empty text), and the result is
// still true, so a banned text never reaches the host's buffer.
//
// Returns false, with `out` holding an exact copy of `in` and its terminating
// zero, when `in` is clean. Also returns false, writing nothing at all, when
// `in` or `out` is null or when `in` is longer than outSize bytes.
//
// Nothing past the terminating zero written is touched.
TAVRIN_API bool Filtrate(char* out, unsigned int outSize,
                         char const* in) TAVRIN_NOEXCEPT;

}  // namespace Tavrin

#endif  // TAVRIN_H_
