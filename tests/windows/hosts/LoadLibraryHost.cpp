// A host that loads Tavrin.dll at run time, the way most of its hosts do:
// LoadLibrary, then GetProcAddress by the two decorated names. Each cycle
// loads the module afresh, lets many threads make the first calls at once,
// checks every answer, unloads the module and makes sure it is gone, and
// that it left no heap storage behind. The
// behaviour cases and every row of the table run through the looked-up
// functions, and again after the host switches the C runtime to other
// locales and code pages.
//
//   tavrin_load_host.exe [CYCLES]   (Tavrin.dll is taken from beside it)
#include <windows.h>
#include <malloc.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "HostCases.h"
#include "Tavrin.h"
#include "matching/BannedWordTable.h"

namespace {

// The names Microsoft's compiler gives the header's functions: a pointer
// is "P" on 32-bit Windows and "PE" (a 64-bit pointer) on x64.
#if defined(_WIN64)
const char kIsValidName[] = "?IsValid@Tavrin@@YA_NPEBD@Z";
const char kFiltrateName[] = "?Filtrate@Tavrin@@YA_NPEADIPEBD@Z";
#else
const char kIsValidName[] = "?IsValid@Tavrin@@YA_NPBD@Z";
const char kFiltrateName[] = "?Filtrate@Tavrin@@YA_NPADIPBD@Z";
#endif
constexpr int kThreads = 16;

// The header's own declarations give the pointer types, so a mismatch
// between header and test cannot go unnoticed.
using IsValidPointer = decltype(&Tavrin::IsValid);
using FiltratePointer = decltype(&Tavrin::Filtrate);

void Print(const char* text) { std::fputs(text, stdout); }

struct Module {
  HMODULE handle = nullptr;
  IsValidPointer is_valid = nullptr;
  FiltratePointer filtrate = nullptr;
};

bool Load(const std::wstring& path, Module& module) {
  module.handle = LoadLibraryW(path.c_str());
  if (module.handle == nullptr) {
    std::printf("LoadLibrary failed: error %lu\n", GetLastError());
    return false;
  }
  module.is_valid = reinterpret_cast<IsValidPointer>(
      reinterpret_cast<void*>(GetProcAddress(module.handle, kIsValidName)));
  module.filtrate = reinterpret_cast<FiltratePointer>(
      reinterpret_cast<void*>(GetProcAddress(module.handle, kFiltrateName)));
  if (module.is_valid == nullptr || module.filtrate == nullptr) {
    std::printf("GetProcAddress failed for a decorated name\n");
    return false;
  }
  return true;
}

// Frees the module and confirms the loader really unloaded it, so that the
// next cycle's first call meets a freshly initialised module.
bool Unload(Module& module) {
  if (!FreeLibrary(module.handle)) return false;
  module = Module();
  return GetModuleHandleW(L"Tavrin.dll") == nullptr;
}

struct FirstCallRace {
  HANDLE start = nullptr;
  Module module;
  LONG wrong = 0;
};

DWORD WINAPI RaceThread(void* argument) {
  FirstCallRace& race = *static_cast<FirstCallRace*>(argument);
  WaitForSingleObject(race.start, INFINITE);
  char buf[32];
  const Module& m = race.module;
  const bool ok = !m.is_valid("x.COM") && m.is_valid("hello") &&
                  m.is_valid(nullptr) && m.filtrate(buf, 31, "Essex") &&
                  std::strcmp(buf, "***<br>") == 0 &&
                  !m.filtrate(buf, 31, "fine") && std::strcmp(buf, "fine") == 0;
  if (!ok) InterlockedIncrement(&race.wrong);
  return 0;
}

// Loads the module, releases kThreads threads together so that they make
// the module's first calls at once, and unloads it.
bool RaceFirstCalls(const std::wstring& path, int cycle) {
  FirstCallRace race;
  if (!Load(path, race.module)) return false;
  race.start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE threads[kThreads];
  for (HANDLE& thread : threads) {
    thread = CreateThread(nullptr, 0, RaceThread, &race, 0, nullptr);
    if (thread == nullptr) return false;
  }
  SetEvent(race.start);
  WaitForMultipleObjects(kThreads, threads, TRUE, INFINITE);
  for (HANDLE thread : threads) CloseHandle(thread);
  CloseHandle(race.start);
  if (race.wrong != 0) {
    std::printf("cycle %d: %ld threads got a wrong answer\n", cycle,
                race.wrong);
    return false;
  }
  if (!Unload(race.module)) {
    std::printf("cycle %d: the module stayed loaded\n", cycle);
    return false;
  }
  return true;
}

void RunTableRows(const Module& m, Tavrin::Host::Checks& checks) {
  Tavrin::Host::RunTableRows(m.is_valid, Tavrin::BannedWordTable,
                             Tavrin::kBannedWordCount, checks);
}

// The verdicts and filtered copies stay the same whatever locale and code
// page the host gives the C runtime it shares with the module.
void RunUnderOtherLocales(const Module& m, Tavrin::Host::Checks& checks) {
  const char* const locales[] = {"Turkish_Turkey.1254", "French_France.1252",
                                 "Chinese_China.936", ".1252"};
  for (const char* name : locales) {
    const bool switched = std::setlocale(LC_ALL, name) != nullptr;
    checks.Expect(switched, "setlocale", name);
    if (!switched) continue;
    Tavrin::Host::RunVerdictCases(m.is_valid, checks);
    Tavrin::Host::RunFiltrateTable(m.filtrate, checks);
    RunTableRows(m, checks);
  }
  std::setlocale(LC_ALL, "C");
}

// Takes every block the C runtime's heap (shared with the module) could
// hand out and all the address space it could grow into, so that the next
// allocation anywhere in the process fails; Release gives it all back.
// Nothing may print or allocate in between.
//
// A 64-bit process has far more address space than can be taken (Wine keeps
// state for every page reserved), so make test runs the 64-bit host under a
// limit on its address space (prlimit --as), and no more than kMaxReserved
// is taken here: run without such a limit, the host reports that it could
// not exhaust memory rather than take all the machine has.
class MemoryExhaustion {
 public:
  // True when even the smallest allocation now fails.
  bool Take() {
    SIZE_T reserved = 0;
    for (SIZE_T size = SIZE_T{1} << 24; size >= 64 * 1024; size /= 2) {
      while (region_count_ < kMaxRegions && size <= kMaxReserved - reserved) {
        void* region = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
        if (region == nullptr) break;
        regions_[region_count_++] = region;
        reserved += size;
      }
    }
    // Draining the heap while it can still grow would take all the memory
    // the machine has.
    void* more = VirtualAlloc(nullptr, 64 * 1024, MEM_RESERVE, PAGE_NOACCESS);
    if (more != nullptr) {
      VirtualFree(more, 0, MEM_RELEASE);
      return false;
    }
    // Heaps keep small blocks in size classes: drain every class.
    for (std::size_t size = 64 * 1024; size > 2048; size /= 2) Drain(size);
    for (std::size_t size = 2048; size >= sizeof(void*); size -= 4) Drain(size);
    void* probe = std::malloc(1);
    std::free(probe);
    return probe == nullptr;
  }

  void Release() {
    while (blocks_ != nullptr) {
      void* next = *static_cast<void**>(blocks_);
      std::free(blocks_);
      blocks_ = next;
    }
    while (region_count_ > 0) {
      VirtualFree(regions_[--region_count_], 0, MEM_RELEASE);
    }
  }

 private:
  static constexpr int kMaxRegions = 1 << 16;
  static constexpr SIZE_T kMaxReserved =
      sizeof(void*) == 8 ? SIZE_T{64} << 30 : ~SIZE_T{0};

  void Drain(std::size_t size) {
    while (void* block = std::malloc(size)) {
      *static_cast<void**>(block) = blocks_;
      blocks_ = block;
    }
  }

  void* regions_[kMaxRegions];
  int region_count_ = 0;
  void* blocks_ = nullptr;
};

MemoryExhaustion exhaustion;

// The first calls need no heap memory: with none to be had they fill the
// list and answer as always, rather than failing closed or, worse, aborting
// the host (the runtime's first throw on a thread needs heap memory here).
void RunWithoutMemory(const std::wstring& path, Tavrin::Host::Checks& checks) {
  Module m;
  if (!Load(path, m)) {
    checks.Expect(false, "loading the module for the out-of-memory case");
    return;
  }
  Tavrin::Host::GuardedBuffer clean;
  Tavrin::Host::GuardedBuffer banned;
  const bool exhausted = exhaustion.Take();
  const bool valid = m.is_valid("hello");
  const bool invalid = !m.is_valid("Essex");
  const bool copied = !m.filtrate(clean.out(), 100, "hello");
  const bool replaced = m.filtrate(banned.out(), 100, "x.Cn");
  exhaustion.Release();
  checks.Expect(exhausted, "memory exhausted for the out-of-memory case");
  checks.Expect(valid && invalid, "IsValid answers without memory");
  checks.Expect(copied && clean.Holds("hello", 6),
                "Filtrate copies a clean text without memory");
  checks.Expect(replaced && banned.Holds(Tavrin::Host::kMarker,
                                          Tavrin::Host::kMarkerBytes),
                "Filtrate replaces a banned text without memory");
  checks.Expect(Unload(m), "unloading after the out-of-memory case");
}

// Bytes in use in the C runtime's heap, which the module shares with this
// host (both import msvcrt.dll).
std::size_t HeapBytesInUse() {
  _HEAPINFO entry = {};
  std::size_t used = 0;
  while (_heapwalk(&entry) == _HEAPOK) {
    if (entry._useflag == _USEDENTRY) used += entry._size;
  }
  return used;
}

std::wstring ModuleBesideThisProgram() {
  wchar_t self[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring path(self, length);
  return path.substr(0, path.find_last_of(L"\\/") + 1) + L"Tavrin.dll";
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 50;
  const std::wstring path = ModuleBesideThisProgram();

  // Every cycle's static teardown must give back all the heap storage the
  // module took at load and at its first call: the word list, and the
  // runtime's own pool.
  const std::size_t heap_before = HeapBytesInUse();
  for (int cycle = 0; cycle < cycles; ++cycle) {
    if (!RaceFirstCalls(path, cycle)) return 1;
  }
  const std::size_t heap_after = HeapBytesInUse();

  Tavrin::Host::Checks checks(Print);
  char heap_numbers[64];
  std::snprintf(heap_numbers, sizeof heap_numbers, "%zu bytes before, %zu after",
                heap_before, heap_after);
  checks.Expect(heap_after == heap_before,
                "load/unload cycles give back every heap byte", heap_numbers);

  RunWithoutMemory(path, checks);

  Module module;
  if (!Load(path, module)) return 1;
  Tavrin::Host::RunBehaviourCases(module.is_valid, module.filtrate, checks);
  RunTableRows(module, checks);
  RunUnderOtherLocales(module, checks);
  if (!Unload(module)) {
    std::printf("the module stayed loaded\n");
    return 1;
  }

  // The module reads the variable through the C runtime it shares with
  // this host, so this is the kernel choice it saw.
  const char* forced = std::getenv("TAVRIN_FORCE_KERNEL");
  std::printf("LoadLibrary host: %d load/race/unload cycles of %d threads, "
              "%d checks, %d failed (TAVRIN_FORCE_KERNEL=%s)\n",
              cycles, kThreads, checks.count(), checks.failures(),
              forced != nullptr ? forced : "");
  return checks.failures() == 0 ? 0 : 1;
}
