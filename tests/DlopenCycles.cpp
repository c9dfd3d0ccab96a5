// Loads the shared library the way a plugin host does, calls it from several
// threads, unloads it, and does that again and again. Run under a leak
// checker, it proves the word list is released at every unload.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using IsValidFn = bool (*)(const char*);
using FiltrateFn = bool (*)(char*, unsigned int, const char*);

bool CallFromThreads(IsValidFn is_valid, FiltrateFn filtrate) {
  bool ok[3] = {false, false, false};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      char buf[32];
      ok[t] = is_valid("hello") && !is_valid("x.COM") && is_valid(nullptr) &&
              filtrate(buf, 31, "Essex") && std::strcmp(buf, "***<br>") == 0 &&
              !filtrate(buf, 31, "fine") && std::strcmp(buf, "fine") == 0;
    });
  }
  for (std::thread& thread : threads) thread.join();
  return ok[0] && ok[1] && ok[2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s LIBRARY [CYCLES]\n", argv[0]);
    return 2;
  }
  const int cycles = argc > 2 ? std::atoi(argv[2]) : 200;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
      std::fprintf(stderr, "dlopen: %s\n", dlerror());
      return 1;
    }
    auto is_valid =
        reinterpret_cast<IsValidFn>(dlsym(library, "_ZN6Tavrin7IsValidEPKc"));
    auto filtrate = reinterpret_cast<FiltrateFn>(
        dlsym(library, "_ZN6Tavrin8FiltrateEPcjPKc"));
    if (is_valid == nullptr || filtrate == nullptr) {
      std::fprintf(stderr, "dlsym: %s\n", dlerror());
      return 1;
    }
    if (!CallFromThreads(is_valid, filtrate)) {
      std::fprintf(stderr, "cycle %d: wrong answer\n", cycle);
      return 1;
    }
    if (dlclose(library) != 0) {
      std::fprintf(stderr, "dlclose: %s\n", dlerror());
      return 1;
    }
    // The library must really be gone, or the unload path went untested.
    if (dlopen(argv[1], RTLD_NOW | RTLD_NOLOAD) != nullptr) {
      std::fprintf(stderr, "cycle %d: library stayed loaded\n", cycle);
      return 1;
    }
  }
  std::printf("%d load/call/unload cycles\n", cycles);
  return 0;
}
