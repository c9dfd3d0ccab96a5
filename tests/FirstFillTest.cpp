// Many threads released together make the first call of a fresh process;
// the list must end up with exactly the table's rows, in order, and every
// call must give the right answer. Repeated in fresh child processes, since
// the first fill happens once per process.
//
// With --small-stack: each entry point's first call, in a fresh process, on
// a thread whose stack is the smallest glibc allows (16 KiB on x86-64),
// which must not overflow it.
#include <pthread.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "Tavrin.h"
#include "matching/BannedWordTable.h"
#include "matching/WordList.h"
#include "tavrin_c.h"

namespace {

constexpr int kThreads = 16;

int RunOneFirstCall() {
  std::atomic<bool> go{false};
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load(std::memory_order_acquire)) {
      }
      if (t % 2 == 0) {
        if (Tavrin::IsValid("hello world") != true) ++wrong;
        if (Tavrin::IsValid("a.Cn") != false) ++wrong;
      } else {
        char buf[32];
        if (Tavrin::Filtrate(buf, 31, "fuck you") != true ||
            std::strcmp(buf, "***<br>") != 0)
          ++wrong;
      }
    });
  }
  go.store(true, std::memory_order_release);
  for (std::thread& thread : threads) thread.join();

  if (wrong.load() != 0) {
    std::fprintf(stderr, "%d wrong answers\n", wrong.load());
    return 1;
  }
  if (Tavrin::WordList.size() != Tavrin::kBannedWordCount) {
    std::fprintf(stderr, "list has %zu rows\n", Tavrin::WordList.size());
    return 1;
  }
  for (std::size_t i = 0; i < Tavrin::kBannedWordCount; ++i) {
    if (std::strcmp(Tavrin::WordList[i].c_str(), Tavrin::BannedWordTable[i])) {
      std::fprintf(stderr, "row %zu differs\n", i + 1);
      return 1;
    }
  }
  return 0;
}

// Each entry point's first call, with a banned UTF-8 text: true when it
// answers "banned".
struct EntryPoint {
  const char* name;
  bool (*banned)(const char* text);
};
const EntryPoint kEntryPoints[] = {
    {"IsValid", [](const char* t) { return !Tavrin::IsValid(t); }},
    {"Filtrate",
     [](const char* t) {
       char out[64];
       return Tavrin::Filtrate(out, sizeof out - 1, t);
     }},
    {"tavrin_is_valid",
     [](const char* t) { return tavrin_is_valid(t, std::strlen(t)) == 0; }},
    {"tavrin_is_valid_utf8",
     [](const char* t) { return tavrin_is_valid_utf8(t, std::strlen(t)) == 0; }},
    {"tavrin_find",
     [](const char* t) {
       tavrin_match m[4];
       return tavrin_find(t, std::strlen(t), m, 4) != 0;
     }},
};

int RunOnSmallStack(const EntryPoint& entry) {
  struct Call {
    const EntryPoint* entry;
    bool banned;
  } call{&entry, false};
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  if (pthread_attr_setstacksize(&attributes, PTHREAD_STACK_MIN) != 0) return 2;
  pthread_t thread;
  if (pthread_create(&thread, &attributes, [](void* argument) -> void* {
        Call* c = static_cast<Call*>(argument);
        c->banned = c->entry->banned("\xE8\xBF\x99\xE4\xB8\xAA ok.com");
        return nullptr;
      }, &call) != 0)
    return 2;
  pthread_join(thread, nullptr);
  return call.banned ? 0 : 1;
}

// Runs `scenario` in a fresh child process; true when it exits with 0.
template <typename Scenario>
bool InChild(const char* what, Scenario scenario) {
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) {
    std::perror("fork");
    return false;
  }
  if (child == 0) _exit(scenario());
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return true;
  std::fprintf(stderr, "%s failed (status %d)\n", what, status);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  int failures = 0;
  if (argc > 1 && std::strcmp(argv[1], "--small-stack") == 0) {
    for (const EntryPoint& entry : kEntryPoints)
      failures += !InChild(entry.name, [&entry] { return RunOnSmallStack(entry); });
    std::printf("first calls on a %zu-byte stack: %d failed\n",
                static_cast<std::size_t>(PTHREAD_STACK_MIN), failures);
    return failures == 0 ? 0 : 1;
  }
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 100;
  for (int round = 0; round < rounds; ++round)
    failures += !InChild("a round", RunOneFirstCall);
  std::printf("%d rounds, %d failed\n", rounds, failures);
  return failures == 0 ? 0 : 1;
}
