#include "Corpora.h"

#include <iconv.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>

#include "matching/BannedWordTable.h"
#include "matching/NoCaseString.h"
#include "matching/LibrarySetup.h"
#include "matching/LiteralWalk.h"
#include "matching/WordList.h"

namespace Tavrin {
namespace Bench {
namespace {

constexpr std::size_t kLinesPerCorpus = 4096;
constexpr std::size_t kLargeText = 1 << 20;

// Common English words, most frequent first (drawn with Zipf weights).
// Words holding a banned row ("have" holds "av") are dropped at start-up.
const char* const kEnglishWords[] = {
    "the", "of", "and", "to", "a", "in", "is", "it", "you", "that", "he",
    "was", "for", "on", "are", "with", "as", "I", "his", "they", "be", "at",
    "one", "have", "this", "from", "or", "had", "by", "not", "word", "but",
    "what", "some", "we", "can", "out", "other", "were", "all", "there",
    "when", "up", "use", "your", "how", "said", "an", "each", "she", "which",
    "do", "their", "time", "if", "will", "way", "about", "many", "then",
    "them", "write", "would", "like", "so", "these", "her", "long", "make",
    "thing", "see", "him", "two", "has", "look", "more", "day", "could",
    "go", "come", "did", "number", "sound", "no", "most", "people", "my",
    "over", "know", "water", "than", "call", "first", "who", "may", "down",
    "side", "been", "now", "find", "any", "new", "work", "part", "take",
    "get", "place", "made", "live", "where", "after", "back", "little",
    "only", "round", "man", "year", "came", "show", "every", "good", "me",
    "give", "our", "under", "name", "very", "through", "just", "form",
    "sentence", "great", "think", "say", "help", "low", "line", "differ",
    "turn", "cause", "much", "mean", "before", "move", "right", "boy", "old",
    "too", "same", "tell", "does", "set", "three", "want", "air", "well",
    "also", "play", "small", "end", "put", "home", "read", "hand", "port",
    "large", "spell", "add", "even", "land", "here", "must", "big", "high",
    "such", "follow", "act", "why", "ask", "men", "change", "went", "light",
    "kind", "off", "need", "house", "picture", "try", "us", "again",
    "animal", "point", "mother", "world", "near", "build", "self", "earth",
    "father", "head", "stand", "own", "page", "should", "country", "found",
    "answer", "school", "grow", "study", "still", "learn", "plant", "cover",
    "food", "sun", "four", "between", "state", "keep", "eye", "never",
    "last", "let", "thought", "city", "tree", "cross", "farm", "hard",
    "start", "might", "story", "saw", "far", "sea", "draw", "left", "late",
    "run", "while", "press", "close", "night", "real", "life", "few",
    "north", "open", "seem", "together", "next", "white", "children",
    "begin", "got", "walk", "example", "ease", "paper", "group", "always",
    "music", "those", "both", "mark", "often", "letter", "until", "mile",
    "river", "car", "feet", "care", "second", "book", "carry", "took",
    "science", "eat", "room", "friend", "began", "idea", "fish", "mountain",
    "stop", "once", "base", "hear", "horse", "cut", "sure", "watch", "color",
    "face", "wood", "main", "enough", "plain", "girl", "usual", "young",
    "ready", "above", "ever", "red", "list", "though", "feel", "talk",
    "bird", "soon", "body", "dog", "family", "direct", "pose", "leave",
    "song", "measure", "door", "product", "black", "short", "numeral",
    "class", "wind", "question", "happen", "complete", "ship", "area",
    "half", "rock", "order", "fire", "south", "problem", "piece", "told",
    "knew", "pass", "since", "top", "whole", "king", "space", "heard",
    "best", "hour", "better", "true", "during", "hundred", "five",
    "remember", "step", "early", "hold", "west", "ground", "interest",
    "reach", "fast", "verb", "sing", "listen", "six", "table", "travel",
    "less", "morning", "ten", "simple", "several", "vowel", "toward", "war",
    "lay", "against", "pattern", "slow", "center", "love", "person", "money",
    "serve", "appear", "road", "map", "rain", "rule", "govern", "pull",
    "cold", "notice", "voice", "unit", "power", "town", "fine", "certain",
    "fly", "fall", "lead", "cry", "dark", "machine", "note", "wait", "plan",
    "figure", "star", "box", "noun", "field", "rest", "correct", "able",
    "pound", "done", "beauty", "drive", "stood", "contain", "front", "teach",
    "week", "final", "gave", "green", "quick", "develop", "ocean", "warm",
    "free", "minute", "strong", "special", "mind", "behind", "clear", "tail",
    "produce", "fact", "street", "inch", "multiply", "nothing", "course",
    "stay", "wheel", "full", "force", "blue", "object", "decide", "surface",
    "deep", "moon", "island", "foot", "system", "busy", "test", "record",
    "boat", "common", "gold", "possible", "plane", "instead", "dry",
    "wonder", "laugh", "thousand", "ago", "ran", "check", "game", "shape",
    "equate", "hot", "miss", "brought", "heat", "snow", "tire", "bring",
    "yes", "distant", "fill", "east", "paint", "language", "among"};

bool HoldsBannedWord(const std::string& text) {
  return Tavrin::ContainsBannedWord(Tavrin::NoCaseString(text.c_str()));
}

// Whether appending `piece` to `text` makes a banned word appear; only the
// bytes a new match could use are searched.
bool AppendWouldBan(const std::string& text, const std::string& piece) {
  const std::size_t keep = text.size() < 12 ? text.size() : 12;
  return HoldsBannedWord(text.substr(text.size() - keep) + piece);
}

class Generator {
 public:
  Generator() : rng_(20261207u) {
    for (const char* word : kEnglishWords)
      if (!HoldsBannedWord(word)) words_.push_back(word);
    std::vector<double> weights;
    for (std::size_t i = 0; i < words_.size(); ++i)
      weights.push_back(1.0 / static_cast<double>(i + 1));
    zipf_ = std::discrete_distribution<std::size_t>(weights.begin(), weights.end());
  }

  std::size_t Below(std::size_t n) { return rng_() % n; }

  std::string EnglishWord() {
    std::string word = words_[zipf_(rng_)];
    if (Below(12) == 0) word[0] = static_cast<char>(word[0] & ~0x20);
    return word;
  }

  // A GBK character: mostly common hanzi, sometimes a full-width comma or
  // full stop.
  std::string GbkCharacter() {
    const std::size_t kind = Below(16);
    if (kind == 0) return "\xA3\xAC";
    if (kind == 1) return "\xA1\xA3";
    const char c[] = {static_cast<char>(0xB0 + Below(0xD7 - 0xB0 + 1)),
                      static_cast<char>(0xA1 + Below(0xFE - 0xA1 + 1))};
    return std::string(c, 2);
  }

  // A clean text of about `length` bytes: English, GBK or both.
  enum class Script { kAscii, kGbk, kMixed };
  std::string CleanText(Script script, std::size_t length) {
    std::string text;
    while (text.size() < length) {
      std::string piece;
      const bool gbk = script == Script::kGbk ||
                       (script == Script::kMixed && Below(2) == 0);
      if (gbk) {
        piece = GbkCharacter();
      } else {
        piece = EnglishWord();
        if (!text.empty()) piece = (Below(10) == 0 ? ". " : " ") + piece;
      }
      if (!AppendWouldBan(text, piece)) text += piece;
    }
    return text;
  }

  std::string Line(Script script, bool banned) {
    const std::size_t target = 16 + Below(120 - 16 + 1);
    for (;;) {
      std::string line = CleanText(script, target);
      if (line.size() > 120) line.resize(120);
      // Cutting may split a GBK character; harmless, but keep it clean.
      if (banned) {
        std::string row = Tavrin::BannedWordTable[Below(Tavrin::kBannedWordCount)];
        for (char& c : row)
          if (Below(2) == 0 && ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')) c ^= 0x20;
        const std::size_t room = line.size() > row.size() ? line.size() - row.size() : 0;
        line.replace(Below(room + 1), row.size(), row);
        if (line.size() > 120) continue;
      }
      if (line.size() >= 16 && HoldsBannedWord(line) == banned) return line;
    }
  }

  // Every row less its last byte, letters in the other case; prefixes that
  // still hold a row (".cn.co" holds ".cn") are left out. Appended in random
  // order with no gap, never completing a row.
  std::string NearMisses(std::size_t length) {
    std::vector<std::string> prefixes;
    for (const char* row : Tavrin::BannedWordTable) {
      std::string prefix(row, std::string(row).size() - 1);
      for (char& c : prefix)
        if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') c ^= 0x20;
      if (!HoldsBannedWord(prefix)) prefixes.push_back(prefix);
    }
    std::string text;
    while (text.size() < length) {
      const std::string& piece = prefixes[Below(prefixes.size())];
      if (!AppendWouldBan(text, piece)) text += piece;
    }
    return text;
  }

 private:
  std::mt19937 rng_;
  std::vector<std::string> words_;
  std::discrete_distribution<std::size_t> zipf_;
};

Corpus Lines(Generator& generator, const char* name, Generator::Script script,
             bool banned) {
  Corpus corpus{name, {}, banned};
  for (std::size_t i = 0; i < kLinesPerCorpus; ++i)
    corpus.texts.push_back(generator.Line(script, banned));
  return corpus;
}

Corpus Large(const char* name, std::string text) {
  text.resize(kLargeText);
  if (HoldsBannedWord(text)) {
    std::fprintf(stderr, "corpus %s is not clean\n", name);
    std::exit(1);
  }
  return Corpus{name, {text}, false};
}

// The GBK form of a UTF-8 phrase, '?' for a character GBK lacks (as
// Python's errors="replace" writes it).
std::string ToGbk(const std::string& utf8) {
  iconv_t cd = iconv_open("GBK", "UTF-8");
  std::string gbk(utf8.size() + 1, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t in_left = utf8.size();
  char* out = &gbk[0];
  std::size_t out_left = gbk.size();
  while (in_left > 0 && iconv(cd, &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1)) {
    std::size_t skip = 1;  // the character iconv refused: its UTF-8 length
    while (skip < in_left && (static_cast<unsigned char>(in[skip]) & 0xC0) == 0x80) ++skip;
    in += skip;
    in_left -= skip;
    *out++ = '?';
    --out_left;
  }
  iconv_close(cd);
  gbk.resize(gbk.size() - out_left);
  return gbk;
}

}  // namespace

std::string ChatLog(std::size_t bytes, bool utf8) {
  static const char* const kNames[] = {"小明", "阿强", "Lily", "王老师", "kevin_88", "月亮", "Tom", "小红"};
  static const char* const kClean[] = {
      "早上好", "今天天气不错", "我们几点见面？", "好的，没问题", "哈哈哈", "晚上一起吃饭吧",
      "这个方案可以", "收到", "谢谢大家", "明天见", "会议改到三点", "文件发你邮箱了",
      "good morning", "see you at noon", "thanks!", "ok", "lol", "on my way",
      "the build is green", "who is online?", "新年快乐 🎉", "我到了 👍"};
  static const char* const kNearMiss[] = {"Sus se x", "a v", "d b", "fu ck",
                                          "51 786", "x . com", "< img", "比 这"};
  static const char* const kBanned[] = {
      "去Essex玩", "have a nice day", "visit shop.COM", "what the FUCK", "<img src=x>",
      "这个比这个好", "５１７８６", "feedback please", "妈的", "call 51786"};
  std::mt19937 rng(20261208u);
  const auto pick = [&rng, utf8](const auto& list) {
    static std::map<const char*, std::string> gbk;  // each phrase converted once
    const char* phrase = list[rng() % (sizeof list / sizeof list[0])];
    if (utf8) return std::string(phrase);
    auto [at, added] = gbk.emplace(phrase, std::string());
    if (added) at->second = ToGbk(phrase);
    return at->second;
  };
  std::string log;
  log.reserve(bytes + 256);
  while (log.size() < bytes) {
    std::vector<std::string> words;
    for (std::size_t n = 1 + rng() % 4; n > 0; --n) words.push_back(pick(kClean));
    const unsigned roll = rng() % 1000;
    if (roll < 25) words.insert(words.begin() + rng() % (words.size() + 1), pick(kBanned));
    else if (roll < 75) words.insert(words.begin() + rng() % (words.size() + 1), pick(kNearMiss));
    std::string line = pick(kNames) + ": ";
    for (std::size_t i = 0; i < words.size(); ++i) line += (i ? " " : "") + words[i];
    log += line + "\n";
  }
  return log;
}

std::vector<Corpus> MakeCorpora() {
  Tavrin::EnsureWordList();
  Generator g;
  using S = Generator::Script;
  std::vector<Corpus> corpora;
  corpora.push_back(Lines(g, "lines ASCII clean", S::kAscii, false));
  corpora.push_back(Lines(g, "lines ASCII banned", S::kAscii, true));
  corpora.push_back(Lines(g, "lines GBK clean", S::kGbk, false));
  corpora.push_back(Lines(g, "lines GBK banned", S::kGbk, true));
  corpora.push_back(Lines(g, "lines mixed clean", S::kMixed, false));
  corpora.push_back(Lines(g, "lines mixed banned", S::kMixed, true));
  corpora.push_back(Large("1 MiB English clean", g.CleanText(S::kAscii, kLargeText)));
  corpora.push_back(Large("1 MiB GBK clean", g.CleanText(S::kGbk, kLargeText)));
  corpora.push_back(Large("1 MiB near misses", g.NearMisses(kLargeText)));
  return corpora;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "cannot read %s (bench/real_text.py writes it)\n", path.c_str());
    std::exit(1);
  }
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  return lines;
}

std::string LinesBuffer(const std::vector<std::string>& lines, std::size_t bytes) {
  std::string buffer;
  buffer.reserve(bytes + 4096);
  while (buffer.size() < bytes)
    for (std::size_t i = 0; i < lines.size() && buffer.size() < bytes; ++i)
      buffer += lines[i] + "\n";
  return buffer;
}

namespace {

// Up to kLinesPerCorpus lines of `lines` of 8 or more bytes with the given
// verdict, taken evenly from all of them.
Corpus RealLines(const char* name, const std::vector<std::string>& lines, bool banned) {
  std::vector<const std::string*> chosen;
  for (const std::string& line : lines)
    if (line.size() >= 8 && HoldsBannedWord(line) == banned) chosen.push_back(&line);
  Corpus corpus{name, {}, banned};
  const std::size_t step = chosen.size() / kLinesPerCorpus + 1;
  for (std::size_t i = 0; i < chosen.size() && corpus.texts.size() < kLinesPerCorpus; i += step)
    corpus.texts.push_back(*chosen[i]);
  return corpus;
}

// Clean lines taken evenly from all of `lines` (every one of the Debian
// sources, not the first few), joined by newlines, to kLargeText bytes; a
// line that would make a row across the join is left out.
Corpus RealText(const char* name, const std::vector<std::string>& lines) {
  std::string text;
  const std::size_t step = lines.size() / 8192 + 1;
  for (std::size_t start = 0; text.size() < kLargeText; start = (start + 1) % step) {
    for (std::size_t i = start; i < lines.size() && text.size() < kLargeText; i += step) {
      const std::string piece = (text.empty() ? "" : "\n") + lines[i];
      if (!HoldsBannedWord(lines[i]) && !AppendWouldBan(text, piece)) text += piece;
    }
  }
  return Large(name, text);
}

}  // namespace

std::vector<Corpus> RealCorpora(const std::string& dir) {
  Tavrin::EnsureWordList();
  const std::vector<std::string> zh = ReadLines(dir + "/zh-lines.gbk");
  const std::vector<std::string> en = ReadLines(dir + "/en-lines.txt");
  std::vector<Corpus> corpora;
  corpora.push_back(RealLines("real lines Chinese clean", zh, false));
  corpora.push_back(RealLines("real lines Chinese banned", zh, true));
  corpora.push_back(RealLines("real lines English clean", en, false));
  corpora.push_back(RealLines("real lines English banned", en, true));
  corpora.push_back(RealText("1 MiB real Chinese clean", zh));
  corpora.push_back(RealText("1 MiB real English clean", en));
  return corpora;
}

}  // namespace Bench
}  // namespace Tavrin
