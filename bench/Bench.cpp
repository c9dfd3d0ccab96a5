// make bench: Tavrin beside Hyperscan (the same 54 rows, caseless, block
// mode, single match), the literal walk over WordList and the floors: strlen
// through a call that cannot be inlined (what any screening of a
// zero-terminated text costs at least) and, for buffers of lines, a newline
// count. On corpora generated from a fixed seed, and on real text from
// Debian's packages (bench/real_text.py) when given. Prints Markdown tables:
// medians of interleaved rounds, so that load from other processes falls on
// all engines alike.
//
// Hyperscan chooses its own code for the processor it runs on. Debian's
// build also exports its code for each class of processor (avx2_hs_scan,
// ...); where it does, each of Tavrin's kernels is also set beside
// Hyperscan's code for the same class, what a host on such a processor
// gets from each.
#include <dlfcn.h>
#include <emmintrin.h>
#include <hs/hs.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Corpora.h"
#include "Tavrin.h"
#include "api/ToGbk.h"
#include "matching/BannedWordTable.h"
#include "matching/LibrarySetup.h"
#include "matching/LiteralWalk.h"
#include "matching/NoCaseString.h"
#include "matching/Scanner.h"
#include "tavrin_c.h"

namespace Tavrin {
namespace Bench {
namespace {

using Clock = std::chrono::steady_clock;

// Answers "does this zero-terminated text hold a banned word?".
using Engine = std::function<bool(const char*)>;

using ScanFunction = hs_error_t (*)(const hs_database_t*, const char*, unsigned,
                                    unsigned, hs_scratch_t*, match_event_handler,
                                    void*);

// Hyperscan with the 54 rows: its own choice of code for this processor, or
// (`target`) its code for one class of processor, scanning a database
// compiled for that class.
class Hyperscan {
 public:
  explicit Hyperscan(const char* target = nullptr) {
    hs_platform_info_t platform{};
    const hs_platform_info_t* platform_for = nullptr;
    scan_ = hs_scan;
    if (target != nullptr) {
      scan_ = reinterpret_cast<ScanFunction>(
          dlsym(RTLD_DEFAULT, (std::string(target) + "_hs_scan").c_str()));
      if (scan_ == nullptr) return;  // this Hyperscan has no such build
      platform.tune = HS_TUNE_FAMILY_GENERIC;
      const std::string t = target;
      // corei7: SSE4.2, the code Hyperscan runs on a processor without AVX2.
      if (t == "avx2") platform.cpu_features = HS_CPU_FEATURES_AVX2;
      if (t == "avx512") platform.cpu_features = HS_CPU_FEATURES_AVX2 | HS_CPU_FEATURES_AVX512;
      if (t == "avx512vbmi")
        platform.cpu_features =
            HS_CPU_FEATURES_AVX2 | HS_CPU_FEATURES_AVX512 | HS_CPU_FEATURES_AVX512VBMI;
      platform_for = &platform;
    }
    std::vector<std::string> patterns;
    for (const char* row : Tavrin::BannedWordTable) {
      std::string pattern;
      for (const char* p = row; *p; ++p) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(*p));
        pattern += escaped;
      }
      patterns.push_back(pattern);
    }
    std::vector<const char*> expressions;
    std::vector<unsigned> flags, ids;
    for (std::size_t i = 0; i < patterns.size(); ++i) {
      expressions.push_back(patterns[i].c_str());
      flags.push_back(HS_FLAG_CASELESS | HS_FLAG_SINGLEMATCH);
      ids.push_back(static_cast<unsigned>(i));
    }
    hs_compile_error_t* error = nullptr;
    if (hs_compile_multi(expressions.data(), flags.data(), ids.data(),
                         static_cast<unsigned>(expressions.size()), HS_MODE_BLOCK,
                         platform_for, &database_, &error) != HS_SUCCESS) {
      std::fprintf(stderr, "hyperscan: %s\n", error ? error->message : "compile failed");
      std::exit(1);
    }
    if (hs_alloc_scratch(database_, &scratch_) != HS_SUCCESS) std::exit(1);
  }
  ~Hyperscan() {
    hs_free_scratch(scratch_);
    hs_free_database(database_);
  }
  Hyperscan(const Hyperscan&) = delete;
  Hyperscan& operator=(const Hyperscan&) = delete;

  bool usable() const { return database_ != nullptr; }

  // Where the first row to end in text[0 .. length) ends, or 0. One scratch
  // space per thread; this one is for the calling thread only.
  std::size_t FirstEnd(const char* text, std::size_t length) const {
    unsigned long long end = 0;
    scan_(database_, text, static_cast<unsigned>(length), 0, scratch_,
          [](unsigned, unsigned long long, unsigned long long to, unsigned,
             void* context) -> int {
            *static_cast<unsigned long long*>(context) = to;
            return 1;  // stop at the first match
          },
          &end);
    return static_cast<std::size_t>(end);
  }
  bool Holds(const char* text) const { return FirstEnd(text, std::strlen(text)) != 0; }

 private:
  ScanFunction scan_ = nullptr;
  hs_database_t* database_ = nullptr;
  hs_scratch_t* scratch_ = nullptr;
};

// The Hyperscan build for the class of processor each kernel is made for:
// for SSSE3, processors without AVX2, which Hyperscan serves with its
// SSE4.2 code (corei7), as nearly every such processor in use has SSE4.2.
const char* HyperscanTargetOf(ScanKernel kernel) {
  const std::string name = ScanKernelName(kernel);
  if (name == "ssse3") return "corei7";
  if (name == "avx2") return "avx2";
  if (name == "avx512") return "avx512";
  if (name == "avx512vbmi") return "avx512vbmi";
  return nullptr;
}

std::size_t Bytes(const Corpus& corpus) {
  std::size_t n = 0;
  for (const std::string& text : corpus.texts) n += text.size();
  return n;
}

volatile std::size_t sink;

// Seconds for `passes` passes of `engine` over every text of `corpus`.
double Time(const Engine& engine, const Corpus& corpus, int passes) {
  std::size_t hits = 0;
  const Clock::time_point start = Clock::now();
  for (int pass = 0; pass < passes; ++pass)
    for (const std::string& text : corpus.texts) hits += engine(text.c_str());
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  sink = sink + hits;
  return seconds;
}

// Seconds of one run of `work`.
double Time(const std::function<std::size_t()>& work) {
  const Clock::time_point start = Clock::now();
  sink = sink + work();
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Passes per sample, so that one sample of `engine` takes about 20 ms.
int Calibrate(const Engine& engine, const Corpus& corpus) {
  const double once = std::max(Time(engine, corpus, 1), 1e-7);
  return std::max(1, static_cast<int>(0.02 / once));
}

// Measures `engines` on `corpus` over `rounds` interleaved rounds; the
// median nanoseconds per text of each.
std::vector<double> NsPerText(const std::vector<const Engine*>& engines,
                              const Corpus& corpus, int rounds) {
  std::vector<int> passes;
  for (const Engine* engine : engines) passes.push_back(Calibrate(*engine, corpus));
  std::vector<std::vector<double>> samples(engines.size());
  for (int round = 0; round < rounds; ++round)
    for (std::size_t e = 0; e < engines.size(); ++e)
      samples[e].push_back(Time(*engines[e], corpus, passes[e]) * 1e9 /
                           (static_cast<double>(passes[e]) * corpus.texts.size()));
  std::vector<double> medians;
  for (const auto& s : samples) medians.push_back(Median(s));
  return medians;
}

std::string CpuName() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line))
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  return "unknown";
}

void CheckVerdicts(const char* engine_name, const Engine& engine,
                   const std::vector<Corpus>& corpora) {
  for (const Corpus& corpus : corpora)
    for (const std::string& text : corpus.texts)
      if (engine(text.c_str()) != corpus.banned) {
        std::fprintf(stderr, "%s disagrees on a text of %s\n", engine_name,
                     corpus.name.c_str());
        std::exit(1);
      }
}

// Called through a volatile pointer, so the compiler can neither inline
// strlen nor drop the call.
std::size_t (*volatile const out_of_line_strlen)(const char*) = std::strlen;

void CallsTable(const std::vector<Corpus>& corpora, const Hyperscan& hyperscan,
                int rounds) {
  const Engine strlen_floor = [](const char* text) { return out_of_line_strlen(text) == 0; };
  const Engine tavrin = [](const char* text) { return !Tavrin::IsValid(text); };
  const Engine hs = [&hyperscan](const char* text) { return hyperscan.Holds(text); };
  const Engine literal = [](const char* text) {
    return Tavrin::ContainsBannedWord(Tavrin::NoCaseString(text));
  };
  std::vector<char> out(2u << 20);
  const Engine filtrate = [&out](const char* text) {
    return Tavrin::Filtrate(out.data(), static_cast<unsigned>(out.size() - 1), text);
  };
  CheckVerdicts("IsValid", tavrin, corpora);
  CheckVerdicts("Filtrate", filtrate, corpora);
  CheckVerdicts("Hyperscan", hs, corpora);
  CheckVerdicts("literal walk", literal, corpora);

  std::printf("## The two functions (kernel %s)\n\n",
              ScanKernelName(SelectedScanKernel()));
  std::printf("Medians of %d interleaved rounds (literal walk: 3); Hyperscan is given "
              "strlen(text) as a host holding a zero-terminated text must.\n\n",
              rounds);
  std::printf("| Corpus | Bytes/text | strlen ns/text | IsValid ns/text | IsValid MB/s "
              "| IsValid / strlen | Filtrate ns/text | Hyperscan ns/text | Hyperscan MB/s "
              "| IsValid / Hyperscan | Literal walk ns/text | Literal walk / IsValid |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (const Corpus& corpus : corpora) {
    const double bytes = static_cast<double>(Bytes(corpus)) / corpus.texts.size();
    const std::vector<double> ns =
        NsPerText({&tavrin, &filtrate, &hs, &strlen_floor}, corpus, rounds);
    const double literal_ns = NsPerText({&literal}, corpus, std::min(rounds, 3))[0];
    const double t = ns[0], f = ns[1], h = ns[2], floor_ns = ns[3];
    std::printf("| %s | %.0f | %.1f | %.1f | %.0f | %.1f | %.1f | %.1f | %.0f | %.2f | %.0f "
                "| %.0f |\n",
                corpus.name.c_str(), bytes, floor_ns, t, bytes * 1e3 / t, t / floor_ns, f,
                h, bytes * 1e3 / h, t / h, literal_ns, literal_ns / t);
  }
}

// Every kernel this processor has, as IsValid would run it (strlen, then
// the kernel), beside the floor and Hyperscan.
void KernelsTable(const std::vector<Corpus>& corpora, const Hyperscan& hyperscan,
                  int rounds) {
  std::vector<ScanKernel> kernels;
  for (ScanKernel kernel : kAllScanKernels)
    if (ScanKernelAvailable(kernel)) kernels.push_back(kernel);
  std::vector<std::unique_ptr<Hyperscan>> targets;
  for (ScanKernel kernel : kernels) {
    const char* target = HyperscanTargetOf(kernel);
    targets.emplace_back(target ? new Hyperscan(target) : nullptr);
    if (targets.back() && !targets.back()->usable()) targets.back().reset();
  }
  std::printf("\n## Every kernel this processor has\n\n");
  std::printf("Each kernel as IsValid runs it (strlen, then the kernel), medians of %d "
              "interleaved rounds. \"Hyperscan\" is its own choice of code for this "
              "processor; \"Hyperscan, same class\" its code for the class of processor "
              "the kernel is made for (corei7_hs_scan for ssse3, avx2_hs_scan, "
              "avx512_hs_scan, avx512vbmi_hs_scan), where this "
              "Hyperscan has it.\n\n",
              rounds);
  std::printf("| Corpus | Kernel | ns/text | MB/s | / strlen | / Hyperscan "
              "| / Hyperscan, same class |\n|---|---|---:|---:|---:|---:|---:|\n");
  const Engine strlen_floor = [](const char* text) { return out_of_line_strlen(text) == 0; };
  const Engine hs = [&hyperscan](const char* text) { return hyperscan.Holds(text); };
  for (const Corpus& corpus : corpora) {
    std::vector<Engine> engines;
    for (ScanKernel kernel : kernels)
      engines.push_back([kernel](const char* text) {
        return TextHasBannedWordUsing(kernel, text, out_of_line_strlen(text));
      });
    for (const auto& target : targets)
      if (target) {
        const Hyperscan* h = target.get();
        engines.push_back([h](const char* text) { return h->Holds(text); });
      }
    std::vector<const Engine*> pointers = {&strlen_floor, &hs};
    for (const Engine& engine : engines) pointers.push_back(&engine);
    const std::vector<double> ns = NsPerText(pointers, corpus, rounds);
    const double bytes = static_cast<double>(Bytes(corpus)) / corpus.texts.size();
    std::size_t next_target = 2 + kernels.size();
    for (std::size_t k = 0; k < kernels.size(); ++k) {
      const double t = ns[2 + k];
      std::printf("| %s | %s | %.1f | %.0f | %.1f | %.2f |", corpus.name.c_str(),
                  ScanKernelName(kernels[k]), t, bytes * 1e3 / t, t / ns[0], t / ns[1]);
      if (targets[k]) {
        std::printf(" %.2f |\n", t / ns[next_target++]);
      } else {
        std::printf(" |\n");
      }
    }
  }
}

// What each kernel's filters let through, per corpus: the share of blocks
// in runs without ASCII (which take the high-run filter), the share of
// blocks with a candidate window, and the candidates, and of them those
// compared exactly (left by the narrowing), per KiB of text. The portable
// kernel, which has no blocks, only narrows.
void PassesTable(const std::vector<Corpus>& corpora) {
  std::printf("\n## What the filters let through\n\n");
  std::printf("Per kernel and corpus, over the whole of every text: the share of blocks "
              "(16, 32 or 64 windows, a window ending at each byte) in runs with no ASCII "
              "byte, which take the high-run filter; the share that the mixed filter's second "
              "stage looks at (all of them in a kernel or run of one stage); the share of "
              "blocks with a candidate; "
              "candidate windows per KiB; and per KiB those whose last three bytes are some "
              "row's, which are compared exactly.\n\n");
  std::printf("| Corpus | Kernel | High-run blocks | Second-stage blocks | Blocks passing "
              "| Candidates / KiB | Compared / KiB |\n|---|---|---:|---:|---:|---:|---:|\n");
  for (const Corpus& corpus : corpora) {
    for (ScanKernel kernel : kAllScanKernels) {
      if (!ScanKernelAvailable(kernel)) continue;
      FilterCounts counts;
      for (const std::string& text : corpus.texts)
        CountFilterPassesUsing(kernel, text.data(), text.size(), &counts);
      const double kib = static_cast<double>(Bytes(corpus)) / 1024.0;
      const auto share = [&counts](std::size_t n) {
        return counts.blocks == 0 ? std::string("-")
                                  : std::to_string(100.0 * n / counts.blocks).substr(0, 5) + "%";
      };
      std::printf("| %s | %s | %s | %s | %s | %.1f | %.2f |\n", corpus.name.c_str(),
                  ScanKernelName(kernel), share(counts.high_run_blocks).c_str(),
                  share(counts.second_stage_blocks).c_str(),
                  share(counts.passing_blocks).c_str(), counts.candidates / kib,
                  counts.narrowed / kib);
    }
  }
}

// The floor of screening lines: counting them. Sixteen bytes at a time
// (SSE2, which every x86-64 processor has), each byte counter summed before
// it can overflow.
std::size_t CountNewlines(const std::string& text) {
  const __m128i newline = _mm_set1_epi8('\n');
  std::size_t count = 0, i = 0;
  while (text.size() - i >= 16) {
    __m128i counters = _mm_setzero_si128();
    for (int b = 0; b < 255 && text.size() - i >= 16; ++b, i += 16)
      counters = _mm_sub_epi8(
          counters,
          _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i)),
                         newline));
    const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
  }
  for (; i < text.size(); ++i) count += text[i] == '\n';
  return count;
}

// The bulk calls on buffers of lines (a generated chat log, and real
// Chinese lines when there are some), against Hyperscan scanning the same
// buffer once, going on from the next line after each match, and a newline
// count.
using LinesCall = decltype(&tavrin_screen_lines);

// The banned lines of `log` by one bulk call (`verdicts` holds a verdict for
// every line); the benchmark stops if the call does not take the whole log.
std::size_t BannedLines(LinesCall call, const std::string& log,
                        std::vector<unsigned char>& verdicts) {
  std::size_t consumed = 0;
  const std::size_t lines =
      call(log.data(), log.size(), verdicts.data(), verdicts.size(), &consumed);
  if (consumed != log.size()) std::exit(1);
  return static_cast<std::size_t>(
      std::count(verdicts.begin(), verdicts.begin() + lines, TAVRIN_BANNED));
}

void BulkTable(const Hyperscan& own_choice, const std::string& real_text, int rounds) {
  constexpr std::size_t kLogBytes = 64u << 20;
  // Hyperscan's code for the class of processor the selected kernel is
  // made for, where this Hyperscan has it.
  const char* target = HyperscanTargetOf(SelectedScanKernel());
  std::unique_ptr<Hyperscan> same_class(target ? new Hyperscan(target) : nullptr);
  if (same_class && !same_class->usable()) same_class.reset();
  const Hyperscan& hyperscan = same_class ? *same_class : own_choice;
  std::fprintf(stderr, "generating the chat logs...\n");
  struct Log {
    std::string name;
    std::string gbk;
  };
  std::vector<Log> logs = {{"generated chat", ChatLog(kLogBytes, false)}};
  if (!real_text.empty())
    logs.push_back({"real Chinese lines",
                    LinesBuffer(ReadLines(real_text + "/zh-lines.gbk"), kLogBytes)});
  const std::string utf8 = ChatLog(kLogBytes, true);
  std::vector<unsigned char> verdicts(kLogBytes + 4096);
  const auto screen = [&verdicts](LinesCall call, const std::string& log) {
    return BannedLines(call, log, verdicts);
  };
  const auto hyperscan_lines = [&hyperscan](const std::string& log) {
    std::size_t banned = 0;
    for (std::size_t at = 0; at < log.size();) {
      const std::size_t end = hyperscan.FirstEnd(log.data() + at, log.size() - at);
      if (end == 0) break;
      ++banned;
      const void* newline = std::memchr(log.data() + at + end - 1, '\n',
                                        log.size() - (at + end - 1));
      at = newline ? static_cast<const char*>(newline) - log.data() + 1 : log.size();
    }
    return banned;
  };
  const auto mbs = [](std::size_t bytes, double t) { return bytes / t / 1e6; };
  std::printf("\n## Buffers of lines (kernel %s)\n\n", ScanKernelName(SelectedScanKernel()));
  std::printf("Every line's verdict in one call, on %zu MiB of lines; Hyperscan (%s) scans "
              "the same buffer, going on from the next line after each match; the floor "
              "counts the newlines (16 bytes at a time). Medians of %d interleaved "
              "rounds.\n\n",
              kLogBytes >> 20,
              same_class ? (std::string("its code for ") + target).c_str() : "its own choice",
              rounds);
  std::printf("| Lines | Work | ms | MB/s | / Hyperscan | / newline count |\n"
              "|---|---|---:|---:|---:|---:|\n");
  for (const Log& log : logs) {
    const std::size_t banned = screen(tavrin_screen_lines, log.gbk);
    if (hyperscan_lines(log.gbk) != banned) {
      std::fprintf(stderr, "Hyperscan and tavrin_screen_lines disagree on %s\n",
                   log.name.c_str());
      std::exit(1);
    }
    const std::vector<std::function<std::size_t()>> work = {
        [&] { return screen(tavrin_screen_lines, log.gbk); },
        [&] { return hyperscan_lines(log.gbk); },
        [&] { return CountNewlines(log.gbk); }};
    std::vector<std::vector<double>> seconds(work.size());
    for (int round = 0; round < rounds; ++round)
      for (std::size_t w = 0; w < work.size(); ++w) seconds[w].push_back(Time(work[w]));
    std::vector<double> s;
    for (const auto& samples : seconds) s.push_back(Median(samples));
    const std::size_t lines = CountNewlines(log.gbk);
    const std::string what = log.name + ", GBK (" + std::to_string(lines) + " lines, " +
                             std::to_string(banned) + " banned)";
    std::printf("| %s | tavrin_screen_lines | %.1f | %.0f | %.2f | %.1f |\n", what.c_str(),
                s[0] * 1e3, mbs(log.gbk.size(), s[0]), s[0] / s[1], s[0] / s[2]);
    std::printf("| %s | Hyperscan | %.1f | %.0f | 1.00 | %.1f |\n", what.c_str(), s[1] * 1e3,
                mbs(log.gbk.size(), s[1]), s[1] / s[2]);
    std::printf("| %s | newline count | %.1f | %.0f | | 1.0 |\n", what.c_str(), s[2] * 1e3,
                mbs(log.gbk.size(), s[2]));
  }
  std::vector<double> u8[2];
  for (int round = 0; round < rounds; ++round) {
    u8[0].push_back(Time([&] { return screen(tavrin_screen_lines_utf8, utf8); }));
    u8[1].push_back(Time([&] { return CountNewlines(utf8); }));
  }
  std::printf("| generated chat, UTF-8 | tavrin_screen_lines_utf8 | %.1f | %.0f | | %.1f |\n",
              Median(u8[0]) * 1e3, mbs(utf8.size(), Median(u8[0])),
              Median(u8[0]) / Median(u8[1]));
}

// UTF-8 beside GBK: the bulk calls on the same lines in both encodings
// (real Chinese lines and the generated chat), the single calls on short
// real lines, and the conversion alone through each kernel's.
namespace utf8 {

// The first `lines` lines of `buffer`.
std::string FirstLines(const std::string& buffer, std::size_t lines) {
  std::size_t at = 0;
  for (std::size_t n = 0; n < lines && at < buffer.size(); ++n)
    at = buffer.find('\n', at) + 1;
  return buffer.substr(0, at);
}

// Median seconds of each of `work` over `rounds` interleaved rounds.
std::vector<double> MedianSeconds(const std::vector<std::function<std::size_t()>>& work,
                                  int rounds) {
  std::vector<std::vector<double>> seconds(work.size());
  for (int round = 0; round < rounds; ++round)
    for (std::size_t w = 0; w < work.size(); ++w) seconds[w].push_back(Time(work[w]));
  std::vector<double> medians;
  for (const auto& samples : seconds) medians.push_back(Median(samples));
  return medians;
}

}  // namespace utf8

void Utf8Table(const std::string& real_text, int rounds) {
  constexpr std::size_t kLogBytes = 64u << 20;
  std::fprintf(stderr, "the UTF-8 buffers...\n");
  struct Same {
    std::string name, gbk, utf8;
  };
  std::vector<Same> buffers;
  {
    // ChatLog draws the same lines in either encoding: the UTF-8 log is cut
    // where the GBK one ends.
    std::string gbk = ChatLog(kLogBytes, false);
    const std::size_t lines = CountNewlines(gbk);
    buffers.push_back({"generated chat", gbk, utf8::FirstLines(ChatLog(kLogBytes * 2, true), lines)});
  }
  if (!real_text.empty()) {
    // real_text.py writes the same lines in both files.
    std::string gbk = LinesBuffer(ReadLines(real_text + "/zh-lines.gbk"), kLogBytes);
    const std::size_t lines = CountNewlines(gbk);
    buffers.push_back({"real Chinese lines", gbk,
                       utf8::FirstLines(LinesBuffer(ReadLines(real_text + "/zh-lines.utf8"),
                                                    kLogBytes * 2),
                                        lines)});
  }
  std::vector<unsigned char> verdicts(kLogBytes + 4096);
  const auto banned = [&verdicts](LinesCall call, const std::string& log) {
    return BannedLines(call, log, verdicts);
  };
  const auto mbs = [](std::size_t bytes, double t) { return bytes / t / 1e6; };
  std::printf("\n## UTF-8 beside GBK\n\n");
  std::printf("Every line's verdict in one call, on the same lines in GBK and in UTF-8 "
              "(%zu MiB of GBK; the UTF-8 is longer), kernel %s and its conversion, "
              "%s; medians of %d interleaved rounds.\n\n",
              kLogBytes >> 20, ScanKernelName(SelectedScanKernel()),
              ScanKernelName(Utf8KernelFor(SelectedScanKernel())), rounds);
  std::printf("| Lines | Work | ms | MB/s | UTF-8 / GBK |\n|---|---|---:|---:|---:|\n");
  for (const Same& same : buffers) {
    const std::size_t gbk_banned = banned(tavrin_screen_lines, same.gbk);
    const std::size_t utf8_banned = banned(tavrin_screen_lines_utf8, same.utf8);
    const std::vector<double> s = utf8::MedianSeconds(
        {[&] { return banned(tavrin_screen_lines, same.gbk); },
         [&] { return banned(tavrin_screen_lines_utf8, same.utf8); }},
        rounds);
    const std::string what = same.name + " (" + std::to_string(CountNewlines(same.gbk)) +
                             " lines; banned: " + std::to_string(gbk_banned) + " in GBK, " +
                             std::to_string(utf8_banned) + " in UTF-8)";
    std::printf("| %s | `tavrin_screen_lines`, GBK | %.1f | %.0f | |\n", what.c_str(),
                s[0] * 1e3, mbs(same.gbk.size(), s[0]));
    std::printf("| %s | `tavrin_screen_lines_utf8`, UTF-8 | %.1f | %.0f | %.2f |\n",
                what.c_str(), s[1] * 1e3, mbs(same.utf8.size(), s[1]), s[1] / s[0]);
  }

  if (!real_text.empty()) {
    // Short real lines (16 to 120 bytes, not all ASCII), the same in both.
    const std::vector<std::string> gbk_lines = ReadLines(real_text + "/zh-lines.gbk");
    const std::vector<std::string> utf8_lines = ReadLines(real_text + "/zh-lines.utf8");
    std::vector<const std::string*> gbk, utf8;
    for (std::size_t i = 0; i < gbk_lines.size() && i < utf8_lines.size() && gbk.size() < 4096;
         i += 7) {
      const std::string& line = utf8_lines[i];
      if (line.size() < 16 || line.size() > 120 ||
          std::all_of(line.begin(), line.end(), [](char c) { return (c & 0x80) == 0; }))
        continue;
      gbk.push_back(&gbk_lines[i]);
      utf8.push_back(&line);
    }
    const auto each = [](const std::vector<const std::string*>& lines, auto call) {
      std::size_t sum = 0;
      for (int pass = 0; pass < 50; ++pass)
        for (const std::string* line : lines) sum += call(line->data(), line->size());
      return sum;
    };
    const std::vector<double> s = utf8::MedianSeconds(
        {[&] { return each(gbk, tavrin_is_valid); },
         [&] { return each(utf8, tavrin_is_valid_utf8); }},
        rounds);
    const double per = 50.0 * gbk.size();
    std::printf("\nThe single calls on %zu short real Chinese lines (16 to 120 bytes of "
                "UTF-8), the same lines in each encoding:\n\n", gbk.size());
    std::printf("| Call | ns/line | UTF-8 / GBK |\n|---|---:|---:|\n");
    std::printf("| `tavrin_is_valid`, GBK | %.1f | |\n", s[0] * 1e9 / per);
    std::printf("| `tavrin_is_valid_utf8`, UTF-8 | %.1f | %.2f |\n", s[1] * 1e9 / per,
                s[1] / s[0]);
  }

  // The conversion alone, as the bulk call converts a window: 4 KiB of GBK
  // at a time.
  if (!PrepareToGbk(InputEncoding::kUtf8)) return;
  std::vector<ScanKernel> kernels;
  for (ScanKernel kernel : kAllScanKernels)
    if (ScanKernelAvailable(kernel)) kernels.push_back(kernel);
  const auto convert = [](ScanKernel kernel, const std::string& text) {
    char window[4096];
    std::size_t at = 0, written = 0;
    while (at < text.size()) {
      const ToGbkStep step = TranscodeUtf8ToGbkUsing(kernel, text.data() + at,
                                                     text.size() - at, window, sizeof window);
      at += step.read;
      written += step.written;
      if (step.ill_formed) break;
    }
    return written;
  };
  std::printf("\nThe conversion alone, UTF-8 to GBK 4 KiB at a time, through the "
              "conversion that goes with each kernel (portable: character by character); "
              "GB/s of UTF-8, medians of %d interleaved rounds:\n\n", rounds);
  std::printf("| Kernel | Conversion |");
  for (const Same& same : buffers) std::printf(" %s GB/s | / portable |", same.name.c_str());
  std::printf("\n|---|---|");
  for (std::size_t b = 0; b < buffers.size(); ++b) std::printf("---:|---:|");
  std::printf("\n");
  std::vector<std::vector<double>> seconds;  // [buffer][kernel]
  for (const Same& same : buffers) {
    std::vector<std::function<std::size_t()>> work;
    for (ScanKernel kernel : kernels)
      work.push_back([&convert, kernel, &same] { return convert(kernel, same.utf8); });
    seconds.push_back(utf8::MedianSeconds(work, rounds));
  }
  for (std::size_t k = 0; k < kernels.size(); ++k) {
    std::printf("| %s | %s |", ScanKernelName(kernels[k]),
                kernels[k] == ScanKernel::kPortable
                    ? "-"
                    : ScanKernelName(Utf8KernelFor(kernels[k])));
    for (std::size_t b = 0; b < buffers.size(); ++b)
      std::printf(" %.2f | %.1f |", buffers[b].utf8.size() / seconds[b][k] / 1e9,
                  seconds[b][0] / seconds[b][k]);
    std::printf("\n");
  }
}

void TwoThreadsTable(const std::vector<Corpus>& corpora, int rounds) {
  const Hyperscan first, second;
  const Engine tavrin = [](const char* text) { return !Tavrin::IsValid(text); };
  const Engine hs_first = [&first](const char* text) { return first.Holds(text); };
  const Engine hs_second = [&second](const char* text) { return second.Holds(text); };
  std::printf("\n## Two threads against one\n\nThroughput, medians of %d interleaved "
              "rounds.\n\n", rounds);
  std::printf("| Corpus | IsValid 1 thread MB/s | 2 threads MB/s | Ratio "
              "| Hyperscan 1 thread MB/s | 2 threads MB/s | Ratio |\n"
              "|---|---:|---:|---:|---:|---:|---:|\n");
  for (const Corpus& corpus : corpora) {
    if (corpus.name != "lines mixed clean" && corpus.name != "1 MiB English clean") continue;
    struct Pair {
      const Engine* first;
      const Engine* second;
      int passes;
      std::vector<double> one, two;
    };
    Pair pairs[2] = {{&tavrin, &tavrin, Calibrate(tavrin, corpus) * 4, {}, {}},
                     {&hs_first, &hs_second, Calibrate(hs_first, corpus) * 4, {}, {}}};
    for (int round = 0; round < rounds; ++round) {
      for (Pair& p : pairs) {
        const double bytes = static_cast<double>(Bytes(corpus)) * p.passes;
        p.one.push_back(bytes / Time(*p.first, corpus, p.passes) / 1e6);
        const Clock::time_point start = Clock::now();
        std::thread other([&] { Time(*p.second, corpus, p.passes); });
        Time(*p.first, corpus, p.passes);
        other.join();
        p.two.push_back(2 * bytes /
                        std::chrono::duration<double>(Clock::now() - start).count() / 1e6);
      }
    }
    const double a = Median(pairs[0].one), b = Median(pairs[0].two);
    const double c = Median(pairs[1].one), d = Median(pairs[1].two);
    std::printf("| %s | %.0f | %.0f | %.2f | %.0f | %.0f | %.2f |\n", corpus.name.c_str(), a,
                b, b / a, c, d, d / c);
  }
}

}  // namespace
}  // namespace Bench
}  // namespace Tavrin

// tavrin_bench [ROUNDS] [--real-text DIR] [--tables LIST] [--corpora PART]:
// ROUNDS (9) rounds
// of each measurement; DIR holds bench/real_text.py's files (without it,
// the generated corpora only); LIST names the tables to print, of calls,
// kernels, passes, bulk, utf8 and threads (all of them); PART keeps only the
// corpora whose names hold it.
int main(int argc, char** argv) {
  using namespace Tavrin::Bench;
  int rounds = 9;
  std::string real_text, tables = "calls,kernels,passes,bulk,utf8,threads", only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--real-text" && i + 1 < argc) {
      real_text = argv[++i];
    } else if (arg == "--tables" && i + 1 < argc) {
      tables = argv[++i];
    } else if (arg == "--corpora" && i + 1 < argc) {
      only = argv[++i];
    } else if (std::atoi(arg.c_str()) > 0) {
      rounds = std::atoi(arg.c_str());
    } else {
      std::fprintf(stderr, "usage: tavrin_bench [ROUNDS] [--real-text DIR] [--tables LIST] "
                           "[--corpora PART]\n");
      return 2;
    }
  }
  const auto wanted = [&tables](const char* table) {
    return ("," + tables + ",").find("," + std::string(table) + ",") != std::string::npos;
  };
  std::fprintf(stderr, "generating corpora...\n");
  std::vector<Corpus> corpora = MakeCorpora();
  if (!real_text.empty())
    for (Corpus& corpus : RealCorpora(real_text)) corpora.push_back(std::move(corpus));
  if (!only.empty())
    corpora.erase(std::remove_if(corpora.begin(), corpora.end(),
                                 [&only](const Corpus& corpus) {
                                   return corpus.name.find(only) == std::string::npos;
                                 }),
                  corpora.end());
  Tavrin::EnsureWordList();
  const Hyperscan hyperscan;
  std::printf("Machine: %s, %u hardware threads\n\n", CpuName().c_str(),
              std::thread::hardware_concurrency());
  std::fprintf(stderr, "measuring %d rounds...\n", rounds);
  if (wanted("calls")) CallsTable(corpora, hyperscan, rounds);
  if (wanted("kernels")) KernelsTable(corpora, hyperscan, rounds);
  if (wanted("passes")) PassesTable(corpora);
  if (wanted("bulk")) BulkTable(hyperscan, real_text, rounds);
  if (wanted("utf8")) Utf8Table(real_text, rounds);
  if (wanted("threads")) TwoThreadsTable(corpora, rounds);
  return 0;
}
