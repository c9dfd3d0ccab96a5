// Makes each allocation of the first fill fail in turn, in a fresh child
// process each time. The call that meets the failure must fail closed and
// leak nothing, and the next call must fill the list completely.
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

std::atomic<long> allocations_until_failure{-1};  // negative: never fail
std::atomic<long> live_allocations{0};
std::atomic<bool> failure_injected{false};

void* Allocate(std::size_t size) {
  if (allocations_until_failure.load() >= 0 &&
      allocations_until_failure.fetch_sub(1) == 0) {
    failure_injected = true;
    throw std::bad_alloc();
  }
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

  allocations_until_failure = index;
  bool result = false;
  switch (first_call) {
    case 0: result = Tavrin::IsValid("hello"); break;
    case 1: result = Tavrin::Filtrate(buf, 15, "hello"); break;
    default: result = Tavrin::Filtrate(buf, 3, "abc"); break;
  }
  allocations_until_failure = -1;
  if (!failure_injected) return kNothingLeftToFail;

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
        // Every allocation of the fill has been failed once; the fill
        // allocates at least the list itself.
        if (index == 0) {
          std::fprintf(stderr, "only %ld allocations were made\n", index);
          ++failures;
        }
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
