// The scanner against the literal walk (ContainsBannedWord), through every
// kernel this processor can run; reads at the very end of a mapped page; and
// the allocation count of warm calls of the two exported functions.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "Tavrin.h"
#include "matching/AsciiFold.h"
#include "matching/BannedWordTable.h"
#include "matching/NoCaseString.h"
#include "matching/Scanner.h"
#include "matching/LibrarySetup.h"
#include "matching/LiteralWalk.h"
#include "matching/WordList.h"
#include "matching/kernels/ScanTables.h"

// Every operator new of this binary is counted while counting is on.
namespace {
std::atomic<bool> counting{false};
std::atomic<long> counted_allocations{0};

void* CountedAllocate(std::size_t size) {
  if (counting.load(std::memory_order_relaxed)) ++counted_allocations;
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return CountedAllocate(size); }
void* operator new[](std::size_t size) { return CountedAllocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return CountedAllocate(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

using Tavrin::ScanKernel;

bool Reference(const std::string& text) {
  Tavrin::EnsureWordList();
  return Tavrin::ContainsBannedWord(Tavrin::NoCaseString(text.c_str()));
}

std::vector<ScanKernel> AvailableKernels() {
  Tavrin::EnsureWordList();
  std::vector<ScanKernel> kernels;
  for (ScanKernel kernel : Tavrin::kAllScanKernels)
    if (Tavrin::ScanKernelAvailable(kernel)) kernels.push_back(kernel);
  return kernels;
}

// Where the first row to end in `text` ends, by NoCaseString::find: each
// row's first occurrence is the one of it that ends first. 0 for none.
std::size_t ReferenceFirstEnd(const std::string& text) {
  Tavrin::EnsureWordList();
  const Tavrin::NoCaseString copy(text.c_str());
  std::size_t first = 0;
  for (const Tavrin::NoCaseString& row : Tavrin::WordList) {
    const std::size_t at = copy.find(row);
    if (at != Tavrin::NoCaseString::npos && (first == 0 || at + row.size() < first))
      first = at + row.size();
  }
  return first;
}

// Every offset just past which a row that holds no other row ends, by
// NoCaseString::find. (A row that holds another, "fuck you", is found by the
// one it holds: a scan that goes on from an offset reports the first row
// whose last byte lies there or after.)
std::vector<std::size_t> ReferenceEnds(const std::string& text) {
  Tavrin::EnsureWordList();
  static const std::vector<const Tavrin::NoCaseString*> least = [] {
    std::vector<const Tavrin::NoCaseString*> rows;
    for (const Tavrin::NoCaseString& row : Tavrin::WordList) {
      bool holds_another = false;
      for (const Tavrin::NoCaseString& other : Tavrin::WordList)
        holds_another = holds_another || (other.size() < row.size() &&
                                          row.find(other) != Tavrin::NoCaseString::npos);
      if (!holds_another) rows.push_back(&row);
    }
    return rows;
  }();
  std::vector<std::size_t> ends;
  for (const Tavrin::NoCaseString* row : least) {
    for (std::size_t start = 0;;) {
      const std::size_t at = Tavrin::NoCaseString(text.c_str() + start).find(*row);
      if (at == Tavrin::NoCaseString::npos) break;
      ends.push_back(start + at + row->size());
      start += at + 1;
    }
  }
  std::sort(ends.begin(), ends.end());
  ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
  return ends;
}

// The rows a scan reports when, after each, it is asked to go on from the
// same place (every row end once), or, every other time, from `skip` bytes
// further on (as the bulk calls go on from the next line).
std::vector<std::size_t> ReportedEnds(ScanKernel kernel, const std::string& text,
                                      std::size_t skip,
                                      std::size_t piece = Tavrin::kScanPieceLength) {
  struct Reported {
    std::vector<std::size_t> ends;
    std::size_t skip;
  } reported{{}, skip};
  Tavrin::ForEachBannedWordEndUsing(
      kernel, text.data(), text.size(),
      Tavrin::RowVisitor{[](void* context, std::size_t end) noexcept -> std::size_t {
                           auto& r = *static_cast<Reported*>(context);
                           r.ends.push_back(end);
                           return end + (r.ends.size() % 2 == 0 ? r.skip : 0);
                         },
                         &reported},
      piece);
  return reported.ends;
}

// What ReportedEnds must give, from all the ends.
std::vector<std::size_t> ExpectedReports(const std::vector<std::size_t>& all,
                                         std::size_t skip) {
  std::vector<std::size_t> reports;
  std::size_t from = 0;  // the next row's last byte lies here or after
  for (std::size_t end : all) {
    if (end - 1 < from) continue;
    reports.push_back(end);
    from = end + (reports.size() % 2 == 0 ? skip : 0);
  }
  return reports;
}

// Compares every available kernel with the literal walk on `text` (which
// must hold no zero byte): the verdict, where the first row ends, and every
// row end a scan that goes on reports. Returns the reference verdict.
bool ExpectAllKernelsAgree(const std::string& text) {
  const bool expected = Reference(text);
  const std::size_t first_end = ReferenceFirstEnd(text);
  EXPECT_EQ(first_end != 0, expected) << ::testing::PrintToString(text);
  const std::vector<std::size_t> all = expected ? ReferenceEnds(text) : std::vector<std::size_t>();
  for (ScanKernel kernel : AvailableKernels()) {
    EXPECT_EQ(Tavrin::FirstBannedWordEndUsing(kernel, text.c_str(), text.size()),
              first_end)
        << Tavrin::ScanKernelName(kernel) << " on " << ::testing::PrintToString(text);
    if (!expected) continue;
    for (std::size_t skip : {0u, 7u})
      EXPECT_EQ(ReportedEnds(kernel, text, skip), ExpectedReports(all, skip))
          << Tavrin::ScanKernelName(kernel) << " going on " << skip << " on "
          << ::testing::PrintToString(text);
  }
  return expected;
}

std::string RandomCase(const std::string& s, std::mt19937& rng) {
  std::string out = s;
  for (char& c : out) {
    const unsigned lower = static_cast<unsigned char>(c) | 0x20u;
    if (lower >= 'a' && lower <= 'z' && (rng() & 1u)) c = static_cast<char>(c ^ 0x20);
  }
  return out;
}

// A piece of text: a row, a row without its last or first byte, a GBK
// character, any byte but zero, or plain English letters and spaces.
std::string RandomFragment(std::mt19937& rng) {
  const std::string row = Tavrin::BannedWordTable[rng() % Tavrin::kBannedWordCount];
  switch (rng() % 8) {
    case 0:
      return RandomCase(row, rng);
    case 1:
      return RandomCase(row.substr(0, row.size() - 1), rng);
    case 2:
      return RandomCase(row.substr(1), rng);
    case 3: {
      const char gbk[] = {static_cast<char>(0x81 + rng() % 0x7E),
                          static_cast<char>(0x40 + rng() % 0xBF)};
      return std::string(gbk, 2);
    }
    case 4:
      return std::string(1, static_cast<char>(1 + rng() % 255));
    default: {
      std::string words;
      const std::size_t n = 1 + rng() % 6;
      for (std::size_t i = 0; i < n; ++i)
        words += (rng() % 5 == 0) ? ' ' : static_cast<char>('a' + rng() % 26);
      return words;
    }
  }
}

// A text of `length` filler bytes (which join no row with their
// neighbours) with `row` at `at` must be banned by every kernel; with the row
// less its last byte there instead, the kernels must agree with the literal
// walk (banned only if a shorter row is in it). False on a failure.
bool RowAndNearMissAgree(const std::string& row, std::size_t length,
                         std::size_t at, std::mt19937& rng, char filler = '~') {
  std::string text(length, filler);
  text.replace(at, row.size(), RandomCase(row, rng));
  const bool found = ExpectAllKernelsAgree(text);
  EXPECT_TRUE(found) << row << " at " << at << " of " << length;
  const std::string prefix = row.substr(0, row.size() - 1);
  std::string near(length, filler);
  near.replace(at, prefix.size(), RandomCase(prefix, rng));
  ExpectAllKernelsAgree(near);
  return found && !::testing::Test::HasFailure();
}

TEST(ScanTables, DecidingRowsAndFoldBitsAgreeWithTheTable) {
  static Tavrin::Scan::ScanTables tables;
  Tavrin::Scan::BuildScanTables(Tavrin::BannedWordTable, Tavrin::kBannedWordCount,
                                tables);
  // The deciding rows are table rows, and every table row holds one of
  // them: a text then holds a table row exactly when it holds a deciding row.
  auto folded = [](const std::string& s) {
    std::string f = s;
    for (char& c : f) c = static_cast<char>(Tavrin::FoldAsciiCase(static_cast<unsigned char>(c)));
    return f;
  };
  std::vector<std::string> deciding;
  for (std::size_t r = 0; r < tables.row_count; ++r)
    deciding.emplace_back(reinterpret_cast<const char*>(tables.rows[r].bytes),
                          tables.rows[r].length);
  for (const std::string& row : deciding) {
    bool in_table = false;
    for (const char* t : Tavrin::BannedWordTable) in_table = in_table || folded(t) == row;
    EXPECT_TRUE(in_table) << row;
  }
  for (const char* t : Tavrin::BannedWordTable) {
    bool holds = false;
    for (const std::string& row : deciding)
      holds = holds || folded(t).find(row) != std::string::npos;
    EXPECT_TRUE(holds) << t;
  }
  EXPECT_LT(tables.row_count, Tavrin::kBannedWordCount);  // "sex" is twice
  for (std::size_t r = 0; r < tables.row_count; ++r) {
    const Tavrin::Scan::ScanRow& row = tables.rows[r];
    unsigned char fold_bits[16];
    std::memcpy(fold_bits, row.fold_bits, sizeof fold_bits);
    for (std::size_t i = 0; i < row.length; ++i) {
      for (unsigned t = 0; t < 256; ++t) {
        const bool by_bits = (t | fold_bits[i]) == row.bytes[i];
        const bool by_fold = Tavrin::FoldAsciiCase(static_cast<unsigned char>(t)) == row.bytes[i];
        ASSERT_EQ(by_bits, by_fold) << "row " << r << " byte " << i << " t " << t;
      }
    }
  }
}

// CTest runs this once per kernel name in TAVRIN_FORCE_KERNEL, and once
// with a name that is no kernel's.
TEST(Scanner, SelectsTheWidestKernelUnlessTheVariableNamesAnother) {
  ScanKernel expected = AvailableKernels().back();
  const char* forced = std::getenv(Tavrin::kForceKernelVariable);
  for (ScanKernel kernel : AvailableKernels())
    if (forced != nullptr && std::string(forced) == Tavrin::ScanKernelName(kernel))
      expected = kernel;
  EXPECT_EQ(Tavrin::SelectedScanKernel(), expected)
      << Tavrin::kForceKernelVariable << "=" << (forced ? forced : "(unset)");
  EXPECT_TRUE(Tavrin::ScanKernelAvailable(ScanKernel::kPortable));
  // Whichever kernel was picked, the exported functions use it.
  EXPECT_FALSE(Tavrin::IsValid("a.Cn and more text than one block holds, "
                               "to reach past the short-text path of a kernel"));
  std::printf("kernels here:");
  for (ScanKernel kernel : AvailableKernels())
    std::printf(" %s", Tavrin::ScanKernelName(kernel));
  std::printf("\n");
}

// The library's kernels are the kernel list's for this processor, in its
// order, under the names the build gives TAVRIN_FORCE_KERNEL and the
// per-kernel test runs (TAVRIN_SCAN_KERNEL_NAMES, from the same list).
TEST(Scanner, KernelListAgreesWithTheBuild) {
  std::string names;
  for (ScanKernel kernel : Tavrin::kAllScanKernels)
    names += std::string(names.empty() ? "" : " ") + Tavrin::ScanKernelName(kernel);
  EXPECT_EQ(names, TAVRIN_SCAN_KERNEL_NAMES);
}

// The tests below run every kernel this processor has. On x86-64 Linux,
// which ones that is must agree with what the operating system found (a
// 32-bit build may run under an emulator whose processor is not the host's):
// a kernel runs here exactly when /proc/cpuinfo shows every feature the
// kernel list says it needs. A kernel the processor lacks cannot be tested
// here, which this test reports as Skipped rather than letting it pass
// unseen.
TEST(Scanner, KernelsTestedHereAreThoseTheProcessorHas) {
#if defined(__x86_64__) && defined(__linux__)
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string flags;
  while (std::getline(cpuinfo, flags) && flags.rfind("flags", 0) != 0) {
  }
  flags += ' ';
  const char* const needs[] = {
#define TAVRIN_KERNEL_NEEDS(Name, name, needs, needs_names) needs_names,
      TAVRIN_FOR_EACH_SCAN_KERNEL(TAVRIN_KERNEL_NEEDS)
#undef TAVRIN_KERNEL_NEEDS
  };
  Tavrin::EnsureWordList();
  for (ScanKernel kernel : Tavrin::kAllScanKernels) {
    std::istringstream features(needs[static_cast<int>(kernel)]);
    bool expected = true;
    for (std::string feature; features >> feature;)
      expected = expected && flags.find(" " + feature + " ") != std::string::npos;
    EXPECT_EQ(Tavrin::ScanKernelAvailable(kernel), expected)
        << Tavrin::ScanKernelName(kernel) << " against /proc/cpuinfo";
  }
#endif
  std::string missing;
  Tavrin::EnsureWordList();
  for (ScanKernel kernel : Tavrin::kAllScanKernels)
    if (!Tavrin::ScanKernelAvailable(kernel))
      missing += std::string(" ") + Tavrin::ScanKernelName(kernel);
  // The UTF-8 conversions of the list: each goes with its own kernel
  // exactly where the processor has everything it needs.
  const char* const conversions[][2] = {
      {nullptr, nullptr},
#define TAVRIN_UTF8_NEEDS(Name, name, needs, needs_names) {name, needs_names},
      TAVRIN_FOR_EACH_UTF8_KERNEL(TAVRIN_UTF8_NEEDS)
#undef TAVRIN_UTF8_NEEDS
  };
  for (const auto& conversion : conversions) {
    for (ScanKernel kernel : Tavrin::kAllScanKernels) {
      if (conversion[0] == nullptr || std::strcmp(conversion[0], Tavrin::ScanKernelName(kernel)))
        continue;
      const bool runs = Tavrin::Utf8KernelFor(kernel) == kernel;
#if defined(__x86_64__) && defined(__linux__)
      std::istringstream features(conversion[1]);
      bool expected = true;
      for (std::string feature; features >> feature;)
        expected = expected && flags.find(" " + feature + " ") != std::string::npos;
      EXPECT_EQ(runs, expected) << "the UTF-8 conversion of " << conversion[0]
                                << " against /proc/cpuinfo";
#endif
      if (!runs) missing += std::string(" ") + conversion[0] + "'s UTF-8 conversion";
    }
  }
  if (!missing.empty() && !HasFailure())
    GTEST_SKIP() << "this processor lacks, so no test here runs:" << missing;
}

TEST(Scanner, EveryRowAtEveryOffsetOfEveryShortLength) {
  // In ASCII, and the rows of bytes 0x80 or more only in the byte 0xA1 (a
  // short text with no ASCII byte takes the high-run filter).
  std::mt19937 rng(7);
  for (const char* row_text : Tavrin::BannedWordTable) {
    const std::string row = row_text;
    const bool high = std::all_of(row.begin(), row.end(),
                                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    for (std::size_t length = row.size(); length <= 80; ++length)
      for (std::size_t at = 0; at + row.size() <= length; ++at) {
        if (!RowAndNearMissAgree(row, length, at, rng)) return;
        if (high && !RowAndNearMissAgree(row, length, at, rng, '\xA1')) return;
      }
  }
}

TEST(Scanner, EveryRowAtTheEndsAndMiddleOfTextsUpTo140Bytes) {
  // The AVX-512 kernel screens texts of up to 129 bytes as two blocks
  // without its block loop: rows first, last and across the second block's
  // start (offset 61) in every length that covers, and a little beyond.
  std::mt19937 rng(17);
  for (const char* row_text : Tavrin::BannedWordTable) {
    const std::string row = row_text;
    for (std::size_t length = row.size(); length <= 140; ++length) {
      std::vector<std::size_t> offsets = {0, length - row.size()};
      for (std::size_t at = 61 - row.size(); at <= 64; ++at)
        if (at + row.size() <= length) offsets.push_back(at);
      for (std::size_t at : offsets)
        if (!RowAndNearMissAgree(row, length, at, rng)) return;
    }
  }
}

TEST(Scanner, RowsAcrossPieceBoundaries) {
  // Long texts are scanned in overlapping pieces; small pieces put every
  // row across a boundary.
  std::mt19937 rng(11);
  for (const char* row_text : Tavrin::BannedWordTable) {
    const std::string row = row_text;
    for (std::size_t at = 0; at + row.size() <= 40; ++at) {
      std::string text(40, '~');
      text.replace(at, row.size(), RandomCase(row, rng));
      // A second row after it, so that a scan that goes on meets both.
      text += RandomCase(row, rng);
      const std::vector<std::size_t> all = ReferenceEnds(text);
      for (std::size_t piece = 1; piece <= 24; ++piece)
        for (ScanKernel kernel : AvailableKernels()) {
          ASSERT_TRUE(Tavrin::TextHasBannedWordUsing(kernel, text.c_str(),
                                                     text.size(), piece))
              << Tavrin::ScanKernelName(kernel) << " " << row << " at " << at
              << " piece " << piece;
          for (std::size_t skip : {0u, 7u})
            ASSERT_EQ(ReportedEnds(kernel, text, skip, piece), ExpectedReports(all, skip))
                << Tavrin::ScanKernelName(kernel) << " " << row << " at " << at
                << " piece " << piece << " going on " << skip;
        }
    }
  }
  const std::string clean(100, 'q');
  for (std::size_t piece = 1; piece <= 24; ++piece)
    EXPECT_FALSE(Tavrin::TextHasBannedWordUsing(ScanKernel::kPortable,
                                                clean.c_str(), clean.size(), piece));
}

TEST(Scanner, EveryRowAcrossBatchBoundaries) {
  // The vector kernels filter 16 blocks of 16, 32 or 64 bytes before
  // checking any candidate: rows across offsets 256, 512, 1024 and 2048,
  // in ASCII and in GBK (runs without ASCII take a filter of their own).
  std::mt19937 rng(13);
  std::string gbk;
  while (gbk.size() < 2200) gbk += "\xB0\xA1";  // 啊
  for (const std::string& filler : {std::string(2200, '~'), gbk}) {
    for (const char* row_text : Tavrin::BannedWordTable) {
      const std::string row = row_text;
      for (std::size_t boundary : {256u, 512u, 1024u, 2048u}) {
        for (std::size_t at = boundary - row.size(); at <= boundary; ++at) {
          std::string text = filler;
          text.replace(at, row.size(), RandomCase(row, rng));
          for (ScanKernel kernel : AvailableKernels())
            ASSERT_TRUE(Tavrin::TextHasBannedWordUsing(kernel, text.c_str(), text.size()))
                << Tavrin::ScanKernelName(kernel) << " " << row << " at " << at;
        }
      }
    }
    for (ScanKernel kernel : AvailableKernels())
      EXPECT_FALSE(Tavrin::TextHasBannedWordUsing(kernel, filler.c_str(), filler.size()));
  }
}

TEST(Scanner, RandomTextsOfEveryLengthUpTo300) {
  std::mt19937 rng(2024);
  long banned = 0, clean = 0;
  for (std::size_t length = 0; length <= 300; ++length) {
    for (int round = 0; round < 24; ++round) {
      std::string text;
      // Mostly letters and near misses, so both verdicts are common.
      while (text.size() < length) {
        std::string piece = RandomFragment(rng);
        if (round % 3 != 0 && piece.size() > 1 && rng() % 4 != 0)
          piece.pop_back();
        text += piece;
      }
      text.resize(length);
      (ExpectAllKernelsAgree(text) ? banned : clean)++;
      if (HasFailure()) return;
    }
  }
  // The texts exercise both answers.
  EXPECT_GT(banned, 500);
  EXPECT_GT(clean, 500);
}

TEST(Scanner, EveryByteValueAroundEveryRow) {
  // Each byte 0x01-0xFF before and after each row, and in place of each of
  // its bytes.
  for (const char* row_text : Tavrin::BannedWordTable) {
    const std::string row = row_text;
    for (unsigned b = 1; b < 256; ++b) {
      const std::string byte(1, static_cast<char>(b));
      ExpectAllKernelsAgree(byte + row + byte);
      for (std::size_t i = 0; i < row.size(); ++i) {
        std::string changed = "0123456789abcdefghijklmnopqrstu" + row;
        changed[31 + i] = static_cast<char>(b);
        ExpectAllKernelsAgree(changed);
      }
    }
    if (HasFailure()) return;
  }
}

TEST(Scanner, LongTextsWithOneRowAnywhere) {
  // Every other text is bytes of 0x80 or more only, as GBK without ASCII.
  std::mt19937 rng(99);
  for (int round = 0; round < 200; ++round) {
    std::string text;
    const std::size_t length = 200 + rng() % 4000;
    while (text.size() < length) {
      std::string piece = RandomFragment(rng);
      if (round % 2 == 1) piece = std::string(1, static_cast<char>(0x80 + rng() % 0x80));
      if (piece.size() > 1) piece.pop_back();
      text += piece;
    }
    ExpectAllKernelsAgree(text);
    const std::string row = Tavrin::BannedWordTable[rng() % Tavrin::kBannedWordCount];
    text.insert(rng() % text.size(), RandomCase(row, rng));
    ASSERT_TRUE(ExpectAllKernelsAgree(text));
  }
}

// Real text, which repeats a few characters very often and mixes ASCII into
// Chinese at almost every block: lines of Debian's Chinese and English
// packages, alone and joined into texts of 16 KiB, from the files
// bench/real_text.py writes (CTest runs it first and names the folder in
// TAVRIN_REAL_TEXT).
TEST(Scanner, RealTextFromDebianPackages) {
  const char* dir = std::getenv("TAVRIN_REAL_TEXT");
  if (dir == nullptr) GTEST_SKIP() << "TAVRIN_REAL_TEXT names no folder (CTest sets it)";
  std::ifstream missing(std::string(dir) + "/missing.txt");
  std::string reason;
  if (std::getline(missing, reason)) GTEST_SKIP() << "no real text here: " << reason;
  for (const char* name : {"/zh-lines.gbk", "/en-lines.txt"}) {
    std::ifstream file(std::string(dir) + name, std::ios::binary);
    ASSERT_TRUE(file) << dir << name;
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
      if (line.find('\0') == std::string::npos) lines.push_back(line);
    ASSERT_GT(lines.size(), 1000u) << dir << name;
    const std::size_t step = lines.size() / 1500 + 1;
    long banned = 0;
    std::string text;
    for (std::size_t i = 0; i < lines.size(); i += step) {
      banned += ExpectAllKernelsAgree(lines[i]);
      text += lines[i] + "\n";
      if (text.size() >= 16 * 1024) {
        ExpectAllKernelsAgree(text);
        text.clear();
      }
      if (HasFailure()) return;
    }
    EXPECT_GT(banned, 10) << name;  // real text holds rows: the check is not idle
  }
}

// Texts between two inaccessible pages: ending with their terminating zero
// on the last byte before one, or starting on the first byte after the
// other. A read past either end faults.
TEST(Scanner, TextsBetweenInaccessiblePages) {
  const long page = sysconf(_SC_PAGESIZE);
  ASSERT_GT(page, 0);
  void* mapping = mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(mapping, MAP_FAILED);
  char* const guard_before = static_cast<char*>(mapping);
  char* const usable = guard_before + page;
  ASSERT_EQ(mprotect(guard_before, page, PROT_NONE), 0);
  ASSERT_EQ(mprotect(usable + page, page, PROT_NONE), 0);
  std::mt19937 rng(5);
  char out[512];
  for (std::size_t length = 0; length <= 300; ++length) {
    for (int variant = 0; variant < 6; ++variant) {
      // Variants 0-2 end on the page's last byte, 3-5 start on its first.
      char* const text = variant < 3 ? usable + page - 1 - length : usable;
      for (std::size_t i = 0; i < length; ++i)
        text[i] = static_cast<char>('a' + rng() % 26);
      if (variant % 3 == 1 && length >= 2) std::memcpy(text + length - 2, "Sb", 2);
      if (variant % 3 == 2 && length >= 3) std::memcpy(text, "\xB2\xD9x", 3);
      text[length] = '\0';
      const std::string copy(text, length);
      const bool expected = Reference(copy);
      for (ScanKernel kernel : AvailableKernels())
        ASSERT_EQ(Tavrin::TextHasBannedWordUsing(kernel, text, length), expected)
            << Tavrin::ScanKernelName(kernel) << " length " << length << " variant "
            << variant;
      EXPECT_EQ(Tavrin::IsValid(text), !expected);
      EXPECT_EQ(Tavrin::Filtrate(out, sizeof out - 1, text), expected);
      // In place, on the guarded page.
      EXPECT_EQ(Tavrin::Filtrate(text, static_cast<unsigned>(length), text),
                expected);
    }
  }
  munmap(mapping, 3 * page);
}

TEST(Scanner, WarmCallsAllocateNothing) {
  ASSERT_TRUE(Tavrin::IsValid("warm up"));
  std::vector<std::string> texts = {"", "x", "hello world", "SHIT happens",
                                    "\xB1\xC8\xD5\xE2", "see <IMG src=x>"};
  std::string long_clean(1 << 16, 'q');
  texts.push_back(long_clean);
  texts.push_back(long_clean + ".Cn");
  std::vector<char> out(long_clean.size() + 16);

  counted_allocations = 0;
  counting = true;
  for (const std::string& text : texts) {
    Tavrin::IsValid(text.c_str());
    Tavrin::Filtrate(out.data(), static_cast<unsigned>(out.size() - 1), text.c_str());
    Tavrin::Filtrate(out.data(), 3, text.c_str());
  }
  counting = false;
  EXPECT_EQ(counted_allocations.load(), 0);
}

}  // namespace
