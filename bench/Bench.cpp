// make bench: Tavrin's two exported functions beside Hyperscan (the same 54
// rows, caseless, block mode, single match), the literal walk over WordList
// and the floor, strlen through a call that cannot be inlined (what any
// screening of a zero-terminated text costs at least), on corpora generated
// from a fixed seed. Prints Markdown tables: medians of interleaved rounds,
// so that load from other processes falls on all engines alike.
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
#include "matching/BannedWordTable.h"
#include "matching/NoCaseString.h"
#include "matching/Scanner.h"
#include "matching/LiteralWalk.h"
#include "matching/WordList.h"

namespace Tavrin {
namespace Bench {
namespace {

using Clock = std::chrono::steady_clock;

// Answers "does this zero-terminated text hold a banned word?".
using Engine = std::function<bool(const char*)>;

class Hyperscan {
 public:
  Hyperscan() {
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
                         nullptr, &database_, &error) != HS_SUCCESS) {
      std::fprintf(stderr, "hyperscan: %s\n", error ? error->message : "compile failed");
      std::exit(1);
    }
    if (hs_alloc_scratch(database_, &scratch_) != HS_SUCCESS) std::exit(1);
  }
  ~Hyperscan() {
    hs_free_scratch(scratch_);
    hs_free_database(database_);
  }
  // One scratch space per thread; this one is for the calling thread only.
  bool Holds(const char* text) const {
    bool found = false;
    hs_scan(database_, text, static_cast<unsigned>(std::strlen(text)), 0, scratch_,
            [](unsigned, unsigned long long, unsigned long long, unsigned,
               void* context) -> int {
              *static_cast<bool*>(context) = true;
              return 1;  // stop at the first match
            },
            &found);
    return found;
  }

 private:
  hs_database_t* database_ = nullptr;
  hs_scratch_t* scratch_ = nullptr;
};

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

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Passes per sample, so that one sample of `engine` takes about 20 ms.
int Calibrate(const Engine& engine, const Corpus& corpus) {
  const double once = std::max(Time(engine, corpus, 1), 1e-7);
  return std::max(1, static_cast<int>(0.02 / once));
}

struct Measured {
  std::vector<double> ns_per_text;  // one per round
  int passes = 1;
};

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

}  // namespace
}  // namespace Bench
}  // namespace Tavrin

int main(int argc, char** argv) {
  using namespace Tavrin::Bench;
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 9;
  std::fprintf(stderr, "generating corpora...\n");
  const std::vector<Corpus> corpora = MakeCorpora();
  const Hyperscan hyperscan;

  // Called through a volatile pointer, so the compiler can neither inline
  // strlen nor drop the call.
  static std::size_t (*volatile const out_of_line_strlen)(const char*) = std::strlen;
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

  struct Column {
    const char* name;
    const Engine* engine;
    int rounds;
  };
  const int literal_rounds = std::max(1, std::min(rounds, 3));
  const std::vector<Column> columns = {{"IsValid", &tavrin, rounds},
                                       {"Filtrate", &filtrate, rounds},
                                       {"Hyperscan", &hs, rounds},
                                       {"literal walk", &literal, literal_rounds},
                                       {"strlen", &strlen_floor, rounds}};
  std::vector<std::vector<Measured>> measured(corpora.size(),
                                              std::vector<Measured>(columns.size()));
  for (std::size_t c = 0; c < corpora.size(); ++c)
    for (std::size_t e = 0; e < columns.size(); ++e)
      measured[c][e].passes = Calibrate(*columns[e].engine, corpora[c]);

  std::fprintf(stderr, "measuring %d rounds...\n", rounds);
  for (int round = 0; round < rounds; ++round) {
    for (std::size_t c = 0; c < corpora.size(); ++c) {
      for (std::size_t e = 0; e < columns.size(); ++e) {
        if (round >= columns[e].rounds) continue;
        Measured& m = measured[c][e];
        const double seconds = Time(*columns[e].engine, corpora[c], m.passes);
        m.ns_per_text.push_back(seconds * 1e9 /
                                (static_cast<double>(m.passes) * corpora[c].texts.size()));
      }
    }
  }

  std::printf("Machine: %s, %u hardware threads; scanner kernel: %s\n",
              CpuName().c_str(), std::thread::hardware_concurrency(),
              Tavrin::ScanKernelName(Tavrin::SelectedScanKernel()));
  std::printf("Medians of %d interleaved rounds (literal walk: %d); Hyperscan is given "
              "strlen(text) as a host holding a zero-terminated text must.\n\n",
              rounds, literal_rounds);
  std::printf("| Corpus | Bytes/text | strlen ns/text | IsValid ns/text | IsValid MB/s "
              "| IsValid / strlen | Filtrate ns/text | Hyperscan ns/text | Hyperscan MB/s "
              "| IsValid / Hyperscan | Literal walk ns/text | Literal walk / IsValid |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (std::size_t c = 0; c < corpora.size(); ++c) {
    const double bytes = static_cast<double>(Bytes(corpora[c])) / corpora[c].texts.size();
    const double t = Median(measured[c][0].ns_per_text);
    const double f = Median(measured[c][1].ns_per_text);
    const double h = Median(measured[c][2].ns_per_text);
    const double l = Median(measured[c][3].ns_per_text);
    const double floor_ns = Median(measured[c][4].ns_per_text);
    std::printf("| %s | %.0f | %.1f | %.1f | %.0f | %.1f | %.1f | %.1f | %.0f | %.2f | %.0f "
                "| %.0f |\n",
                corpora[c].name.c_str(), bytes, floor_ns, t, bytes * 1e3 / t, t / floor_ns, f,
                h, bytes * 1e3 / h, t / h, l, l / t);
  }

  // The scanner's kernels on the large texts (no strlen, no list check).
  std::printf("\nKernels on the 1 MiB texts, MB/s (median of %d):\n\n", rounds);
  std::printf("| Corpus |");
  std::vector<Tavrin::ScanKernel> kernels;
  for (Tavrin::ScanKernel k : Tavrin::kAllScanKernels)
    if (Tavrin::ScanKernelAvailable(k)) {
      kernels.push_back(k);
      std::printf(" %s |", Tavrin::ScanKernelName(k));
    }
  std::printf("\n|---|");
  for (std::size_t i = 0; i < kernels.size(); ++i) std::printf("---:|");
  std::printf("\n");
  for (const Corpus& corpus : corpora) {
    if (corpus.texts.size() != 1) continue;
    std::printf("| %s |", corpus.name.c_str());
    for (Tavrin::ScanKernel k : kernels) {
      const Engine engine = [k, &corpus](const char*) {
        const std::string& s = corpus.texts[0];
        return Tavrin::TextHasBannedWordUsing(k, s.c_str(), s.size());
      };
      const int passes = Calibrate(engine, corpus);
      std::vector<double> mbs;
      for (int round = 0; round < rounds; ++round)
        mbs.push_back(static_cast<double>(corpus.texts[0].size()) * passes /
                      Time(engine, corpus, passes) / 1e6);
      std::printf(" %.0f |", Median(mbs));
    }
    std::printf("\n");
  }

  // Two threads, each screening the whole corpus, against one; Hyperscan
  // beside it (a scratch space per thread) shows what the machine allows.
  const Hyperscan second_hyperscan;
  const Engine hs_second = [&second_hyperscan](const char* text) {
    return second_hyperscan.Holds(text);
  };
  std::printf("\nTwo threads against one (throughput, median of %d interleaved rounds):\n\n",
              rounds);
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
                     {&hs, &hs_second, Calibrate(hs, corpus) * 4, {}, {}}};
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
  return 0;
}
