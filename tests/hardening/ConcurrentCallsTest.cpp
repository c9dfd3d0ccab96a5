// Both functions called from every core at once for a while, each thread
// with its own output buffer, on texts whose verdicts the literal walk gave
// before the threads started. Built with ThreadSanitizer, it shows that calls
// on a filled list share nothing that any of them writes.
//
//   concurrent_calls_test SECONDS
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Tavrin.h"
#include "matching/NoCaseString.h"
#include "matching/LibrarySetup.h"
#include "matching/LiteralWalk.h"
#include "matching/WordList.h"

namespace {

struct Case {
  std::string text;
  bool banned;
};

std::vector<Case> MakeCases() {
  std::vector<std::string> texts = {"",
                                    "x",
                                    "hello world",
                                    "sh1t",
                                    "SHIT happens",
                                    "Essex",
                                    "x.Cn",
                                    "see <IMG src=x>",
                                    "\xB1\xC8\xD5\xE2",
                                    "\xC4\xE3\xBA\xC3",
                                    "5\xA3\xB1\xA3\xB7\xA3\xB8\xA3\xB6",
                                    "FUCK you",
                                    "fine, thanks"};

  // Long texts, banned at the very end or not at all, so that calls overlap
  // in time.
  std::string long_clean;
  while (long_clean.size() < 4000) long_clean += "quiet words, nothing else; ";
  texts.push_back(long_clean);
  texts.push_back(long_clean + "a.NET");

  std::vector<Case> cases;
  for (const std::string& text : texts) {
    cases.push_back(
        {text, Tavrin::ContainsBannedWord(Tavrin::NoCaseString(text.c_str()))});
  }
  return cases;
}

// One thread's round over every case; returns the number of wrong answers.
int Round(const std::vector<Case>& cases, std::vector<char>& buffer) {
  constexpr std::size_t kGuard = 16;
  int wrong = 0;
  for (const Case& c : cases) {
    if (Tavrin::IsValid(c.text.c_str()) == c.banned) ++wrong;

    const std::size_t length = c.text.size();
    // Room for the text or the marker, and a byte to spare.
    const unsigned int out_size =
        static_cast<unsigned int>(std::max<std::size_t>(length, 7) + 1);
    std::fill(buffer.begin(), buffer.end(), '#');
    char* out = buffer.data() + kGuard;
    const bool replaced = Tavrin::Filtrate(out, out_size, c.text.c_str());
    const char* expected = c.banned ? "***<br>" : c.text.c_str();
    const std::size_t written = std::strlen(expected) + 1;
    if (replaced != c.banned || std::memcmp(out, expected, written) != 0)
      ++wrong;
    for (std::size_t i = 0; i < buffer.size(); ++i) {
      if ((i < kGuard || i >= kGuard + written) && buffer[i] != '#') {
        ++wrong;
        break;
      }
    }

    // In place, in this thread's own buffer, with no room to spare: a banned
    // text shorter than the marker leaves an empty text and its other bytes.
    std::memcpy(out, c.text.c_str(), length + 1);
    std::string expected_in_place = c.text;
    if (c.banned && length >= 7) {
      expected_in_place.replace(0, 8, "***<br>", 8);
    } else if (c.banned && length > 0) {
      expected_in_place[0] = '\0';
    }
    if (Tavrin::Filtrate(out, static_cast<unsigned int>(length), out) !=
            c.banned ||
        std::memcmp(out, expected_in_place.data(), length) != 0)
      ++wrong;
  }
  return wrong;
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 3;
  Tavrin::EnsureWordList();
  const std::vector<Case> cases = MakeCases();
  std::size_t longest = 0;
  for (const Case& c : cases) longest = std::max(longest, c.text.size());

  const unsigned threads_wanted =
      std::max(2u, std::thread::hardware_concurrency());
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::atomic<int> wrong{0};
  std::atomic<long> rounds{0};
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < threads_wanted; ++t) {
    threads.emplace_back([&] {
      std::vector<char> buffer(longest + 64);
      do {
        wrong += Round(cases, buffer);
        ++rounds;
      } while (std::chrono::steady_clock::now() < deadline);
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::printf("%u threads, %ld rounds, %d wrong answers\n", threads_wanted,
              rounds.load(), wrong.load());
  return wrong.load() == 0 ? 0 : 1;
}
