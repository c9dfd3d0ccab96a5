// Texts far larger than any host sends, screened through the two functions:
//
//   large_input_test 1gib        a 1 GiB text is screened, clean and banned,
//                                by both functions with no memory beyond the
//                                text itself (peak resident size measured)
//   large_input_test past-4gib   a text longer than 4 GiB is refused by
//                                Filtrate for every 32-bit outSize, the
//                                truncated length included, and screened
//                                correctly by IsValid wherever a banned word
//                                sits past the 4 GiB mark
//
// Each needs a few GiB of memory. When /proc/meminfo shows too little
// available, the test says so and exits with kSkipped, which CTest reports as
// a skipped test.
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "Tavrin.h"
#include "matching/NoCaseString.h"
#include "matching/LibrarySetup.h"
#include "matching/LiteralWalk.h"
#include "matching/WordList.h"

namespace {

constexpr int kSkipped = 77;
constexpr std::size_t kMiB = std::size_t{1} << 20;
constexpr std::size_t kGiB = std::size_t{1} << 30;

int failures = 0;

#define EXPECT(condition)                                          \
  do {                                                             \
    if (!(condition)) {                                            \
      std::fprintf(stderr, "line %d: %s\n", __LINE__, #condition); \
      ++failures;                                                  \
    }                                                              \
  } while (0)

// A clean filler of 61 bytes, ASCII and GBK mixed; repeated it stays clean
// (checked by the literal walk before use, since a banned row could straddle
// two copies).
constexpr char kFiller[] =
    "Quiet lines of text, \xC4\xE3\xBA\xC3\xCA\xC0\xBD\xE7, nothing to see: "
    "0123. ";
constexpr std::size_t kFillerLength = sizeof kFiller - 1;

std::size_t AvailableMemory() {
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  std::size_t kib = 0;
  std::string unit;
  while (meminfo >> key >> kib >> unit) {
    if (key == "MemAvailable:") return kib * 1024;
  }
  return 0;
}

std::size_t PeakResident() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::size_t>(usage.ru_maxrss) * 1024;
}

// length bytes of filler and a terminating zero, in memory of their own.
char* MakeText(std::size_t length) {
  void* block = mmap(nullptr, length + 1, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (block == MAP_FAILED) {
    std::perror("mmap");
    std::exit(1);
  }
  // Huge pages, where the kernel offers them, spare a million page faults.
  madvise(block, length + 1, MADV_HUGEPAGE);
  char* text = static_cast<char*>(block);
  for (std::size_t at = 0; at < length; at += kFillerLength) {
    std::memcpy(text + at, kFiller, std::min(kFillerLength, length - at));
  }
  text[length] = '\0';
  return text;
}

// Puts filler back over [at, at + n).
void Restore(char* text, std::size_t at, std::size_t n) {
  for (std::size_t i = at; i < at + n; ++i)
    text[i] = kFiller[i % kFillerLength];
}

bool HoldsFiller(const char* text, std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    if (text[i] != kFiller[i % kFillerLength]) return false;
  }
  return true;
}

bool EnoughMemory(std::size_t needed, const char* what) {
  const std::size_t available = AvailableMemory();
  if (available >= needed) return true;
  std::printf(
      "SKIPPED: %s needs %zu MiB of available memory; /proc/meminfo shows "
      "%zu MiB available on this machine\n",
      what, needed / kMiB, available / kMiB);
  return false;
}

int OneGiB() {
  constexpr std::size_t kLength = kGiB;
  if (!EnoughMemory(kLength + kGiB / 2, "screening a 1 GiB text"))
    return kSkipped;
  char* text = MakeText(kLength);
  EXPECT(Tavrin::IsValid(nullptr));  // fills the list before measuring
  const std::size_t peak_before = PeakResident();

  EXPECT(Tavrin::IsValid(text));
  EXPECT(!Tavrin::Filtrate(text, static_cast<unsigned int>(kLength), text));
  EXPECT(text[kLength] == '\0' && HoldsFiller(text, 0, kLength));

  std::memcpy(text + kLength - 4, "FUCK", 4);
  EXPECT(!Tavrin::IsValid(text));
  EXPECT(Tavrin::Filtrate(text, static_cast<unsigned int>(kLength), text));
  EXPECT(std::memcmp(text, "***<br>", 8) == 0);
  EXPECT(HoldsFiller(text, 8, kLength - 4));

  // Whatever a call needs beside the text must not grow with it: a private
  // copy of the text would add a whole GiB here.
  const std::size_t growth = PeakResident() - peak_before;
  std::printf("peak resident size grew by %zu KiB while screening 1 GiB\n",
              growth / 1024);
  EXPECT(growth < 64 * kMiB);
  return failures == 0 ? 0 : 1;
}

int PastFourGiB() {
  constexpr std::size_t kFourGiB = std::size_t{1} << 32;
  constexpr std::size_t kLength = kFourGiB + 37;
  if (!EnoughMemory(kLength + kGiB, "screening a text longer than 4 GiB"))
    return kSkipped;
  char* text = MakeText(kLength);

  // `out` is one page with an inaccessible page after it: a call that took
  // the length modulo 2^32 and copied would fault or scribble on it.
  const long page = sysconf(_SC_PAGESIZE);
  char* out = static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE,
                                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  EXPECT(out != MAP_FAILED && mprotect(out + page, page, PROT_NONE) == 0);
  std::memset(out, 'x', page);

  const unsigned int truncated = static_cast<unsigned int>(kLength);
  const unsigned int sizes[] = {0u,          6u,
                                7u,          truncated - 1,
                                truncated,   truncated + 1,
                                0x7FFFFFFFu, 0xFFFFFFFEu,
                                0xFFFFFFFFu};
  for (unsigned int out_size : sizes) {
    EXPECT(!Tavrin::Filtrate(out, out_size, text));
    // Refused in place too: the text stays as it was.
    EXPECT(!Tavrin::Filtrate(text, out_size, text));
  }
  bool untouched = true;
  for (long i = 0; i < page; ++i) untouched = untouched && out[i] == 'x';
  EXPECT(untouched);
  EXPECT(HoldsFiller(text, 0, 64));

  EXPECT(Tavrin::IsValid(text));
  // Across the 4 GiB mark, just past it, and at the very end: a scan that
  // kept a 32-bit length or offset would miss or misplace each of them.
  const std::size_t places[] = {kFourGiB - 2, kFourGiB + 5, kLength - 4};
  for (std::size_t at : places) {
    std::memcpy(text + at, "fUcK", 4);
    const bool valid = Tavrin::IsValid(text);
    if (valid) std::fprintf(stderr, "banned word at %zu passed\n", at);
    EXPECT(!valid);
    Restore(text, at, 4);
  }
  EXPECT(text[kLength] == '\0' && HoldsFiller(text, kFourGiB - 64, kLength));
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string which = argc > 1 ? argv[1] : "";
  // The filler must be clean however its copies are joined.
  const std::string twice = std::string(kFiller) + kFiller;
  Tavrin::EnsureWordList();
  if (Tavrin::ContainsBannedWord(Tavrin::NoCaseString(twice.c_str()))) {
    std::fprintf(stderr, "the filler is not a clean text\n");
    return 1;
  }
  if (which == "1gib") return OneGiB();
  if (which == "past-4gib") return PastFourGiB();
  std::fprintf(stderr, "usage: %s 1gib|past-4gib\n", argv[0]);
  return 2;
}
