// Many threads released together make the first call of a fresh process;
// the list must end up with exactly the table's rows, in order, and every
// call must give the right answer. Repeated in fresh child processes, since
// the first fill happens once per process.
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

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 100;
  int failures = 0;
  for (int round = 0; round < rounds; ++round) {
    const pid_t child = fork();
    if (child < 0) {
      std::perror("fork");
      return 1;
    }
    if (child == 0) _exit(RunOneFirstCall());
    int status = 0;
    waitpid(child, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "round %d failed (status %d)\n", round, status);
      ++failures;
    }
  }
  std::printf("%d rounds, %d failed\n", rounds, failures);
  return failures == 0 ? 0 : 1;
}
