// Runs the first call with memory running out at each allocation in turn
// (that allocation and every later one fail), in a fresh child process each
// time, starting with memory exhausted before the call. A call that meets
// the failure must fail closed and leak nothing, and the next call must fill
// the list completely; a call that meets none must answer as always. The
// fill is meant to need no heap memory at all, so today the first round
// already runs out of allocations to fail: the test then proves that the
// first calls answer correctly with no memory to be had.
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "Tavrin.h"
#include "matching/BannedWordTable.h"
#include "matching/WordList.h"

namespace {

// Allocations that still succeed before memory runs out; negative: never.
std::atomic<long> allocations_before_exhaustion{-1};
std::atomic<long> live_allocations{0};
std::atomic<bool> failure_injected{false};

void* Allocate(std::size_t size) {
  const long left = allocations_before_exhaustion.load();
  if (left == 0) {
    failure_injected = true;
    throw std::bad_alloc();
  }
  if (left > 0) --allocations_before_exhaustion;
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  ++live_allocations;
  return p;
}

void Release(void* p) noexcept {
  if (p == nullptr) return;
  --live_allocations;
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace {

enum Outcome { kPassed = 0, kFailed = 1, kNothingLeftToFail = 3 };

#define EXPECT(condition)                                            \
  do {                                                               \
    if (!(condition)) {                                              \
      std::fprintf(stderr, "line %d: %s\n", __LINE__, #condition);   \
      return kFailed;                                                \
    }                                                                \
  } while (0)

bool ListIsComplete() {
  if (Tavrin::WordList.size() != Tavrin::kBannedWordCount) return false;
  for (std::size_t i = 0; i < Tavrin::kBannedWordCount; ++i) {
    if (std::strcmp(Tavrin::WordList[i].c_str(), Tavrin::BannedWordTable[i]))
      return false;
  }
  return true;
}

// first_call: 0 IsValid on a clean text, 1 Filtrate of a clean text,
// 2 Filtrate into a buffer too small for the marker.
Outcome FailAllocation(long index, int first_call) {
  const long live_before = live_allocations.load();
  char buf[16];
  std::memset(buf, 'x', sizeof buf);

  allocations_before_exhaustion = index;
  bool result = false;
  switch (first_call) {
    case 0: result = Tavrin::IsValid("hello"); break;
    case 1: result = Tavrin::Filtrate(buf, 15, "hello"); break;
    default: result = Tavrin::Filtrate(buf, 3, "abc"); break;
  }
  const bool banned = !Tavrin::IsValid("x.Cn");
  allocations_before_exhaustion = -1;
  if (!failure_injected) {
    // No allocation was needed: the answers are the ordinary ones.
    switch (first_call) {
      case 0: EXPECT(result == true); break;
      case 1: EXPECT(result == false && std::strcmp(buf, "hello") == 0); break;
      default: EXPECT(result == false && std::strcmp(buf, "abc") == 0); break;
    }
    EXPECT(banned);
    EXPECT(ListIsComplete());
    EXPECT(live_allocations.load() == live_before);
    return kNothingLeftToFail;
  }

  // Failed closed: the clean text was treated as banned.
  switch (first_call) {
    case 0: EXPECT(result == false); break;
    case 1: EXPECT(result == true && std::strcmp(buf, "***<br>") == 0); break;
    default: EXPECT(result == true && buf[0] == '\0' && buf[1] == 'x'); break;
  }
  EXPECT(buf[15] == 'x');
  // Rolled back and leaked nothing.
  EXPECT(Tavrin::WordList.empty());
  EXPECT(live_allocations.load() == live_before);
  // The next call fills the list completely, whatever its arguments.
  EXPECT(Tavrin::Filtrate(nullptr, 2, "hello") == false);
  EXPECT(ListIsComplete());
  EXPECT(Tavrin::IsValid("hello") == true);
  EXPECT(Tavrin::IsValid("HELLO.com") == false);
  EXPECT(Tavrin::Filtrate(buf, 15, "fine") == false);
  EXPECT(std::strcmp(buf, "fine") == 0);
  EXPECT(ListIsComplete());
  return kPassed;
}

}  // namespace

int main() {
  int failures = 0;
  long injected = 0;
  for (int first_call = 0; first_call < 3; ++first_call) {
    for (long index = 0;; ++index) {
      const pid_t child = fork();
      if (child < 0) {
        std::perror("fork");
        return 1;
      }
      if (child == 0) _exit(FailAllocation(index, first_call));
      int status = 0;
      waitpid(child, &status, 0);
      const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      if (code == kNothingLeftToFail) {
        std::printf("call %d: the first call makes %ld heap allocations\n",
                    first_call, index);
        break;
      }
      ++injected;
      if (code != kPassed) {
        std::fprintf(stderr, "call %d, allocation %ld: status %d\n",
                     first_call, index, status);
        ++failures;
      }
    }
  }
  std::printf("%ld allocation failures injected, %d mishandled\n", injected,
              failures);
  return failures == 0 ? 0 : 1;
}
