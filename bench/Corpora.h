// The texts the benchmark screens, generated from a fixed seed so that every
// run and every machine sees the same bytes.
#ifndef TAVRIN_BENCH_CORPORA_H_
#define TAVRIN_BENCH_CORPORA_H_

#include <cstddef>
#include <string>
#include <vector>

namespace Tavrin {
namespace Bench {

struct Corpus {
  std::string name;
  std::vector<std::string> texts;
  bool banned;  // every text holds a banned word (else none does)
};

// Chat lines of 16-120 bytes (ASCII, GBK, mixed; clean and with one banned
// word each), 1 MiB clean English and GBK texts, and 1 MiB of near misses.
// Every verdict is checked against the literal walk.
std::vector<Corpus> MakeCorpora();

// Real text, from the files bench/real_text.py writes into `dir`: Chinese
// (zh-lines.gbk) and English (en-lines.txt) lines of Debian's packages as
// short lines, clean and banned, and as 1 MiB clean texts (clean lines
// joined by newlines). Exits when a file is missing.
std::vector<Corpus> RealCorpora(const std::string& dir);

// The lines of `path`, each without its newline.
std::vector<std::string> ReadLines(const std::string& path);

// About `bytes` bytes of the lines, in order and then over again, each
// ended by a newline.
std::string LinesBuffer(const std::vector<std::string>& lines, std::size_t bytes);

// A chat log of about `bytes` bytes, its lines ended by '\n': speakers,
// short phrases in Chinese and English, about 1 line in 40 with a banned
// word and 1 in 20 with a near miss, as examples/make_chat_archive.py makes
// them. In GBK, or in UTF-8 (then with emoji, which GBK lacks).
std::string ChatLog(std::size_t bytes, bool utf8);

}  // namespace Bench
}  // namespace Tavrin

#endif  // TAVRIN_BENCH_CORPORA_H_
