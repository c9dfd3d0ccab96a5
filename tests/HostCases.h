// The behaviour cases every host runs against the two functions, through
// whichever binding it made to them: the in-process tests of each Linux
// build (ApiTest.cpp, 64-bit and 32-bit), and the Windows hosts with
// GetProcAddress or an import library. Freestanding on purpose: it needs no
// C or C++ runtime, so a host built without one (the MSVC-ABI host) runs the
// very same cases.
#ifndef TAVRIN_TESTS_HOSTCASES_H_
#define TAVRIN_TESTS_HOSTCASES_H_

namespace Tavrin {
namespace Host {

typedef bool (*IsValidFunction)(const char* text);
typedef bool (*FiltrateFunction)(char* out, unsigned int outSize,
                                 const char* in);

// Counts checks and reports each failed one through `print`.
class Checks {
 public:
  explicit Checks(void (*print)(const char* text)) : print_(print) {}

  void Expect(bool ok, const char* what, const char* detail = 0) {
    ++count_;
    if (ok) return;
    ++failures_;
    print_("FAILED: ");
    print_(what);
    if (detail != 0) {
      print_(" [");
      print_(detail);
      print_("]");
    }
    print_("\n");
  }

  int count() const { return count_; }
  int failures() const { return failures_; }

 private:
  void (*print_)(const char* text);
  int count_ = 0;
  int failures_ = 0;
};

inline bool SameBytes(const char* a, const char* b, unsigned n) {
  for (unsigned i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

inline void CopyText(char* to, const char* from) {
  do {
    *to++ = *from;
  } while (*from++ != '\0');
}

// An output buffer with guard bytes on both sides, all of it 'x' at first:
// a call may change only what it says it wrote at out().
class GuardedBuffer {
 public:
  static const unsigned kGuard = 32;
  static const unsigned kCapacity = 1024;

  GuardedBuffer() {
    for (unsigned i = 0; i < sizeof bytes_; ++i) bytes_[i] = 'x';
  }
  char* out() { return bytes_ + kGuard; }

  // True when out() starts with the `n` bytes of `written` and every other
  // byte, guards included, still holds 'x'.
  bool Holds(const char* written, unsigned n) const {
    for (unsigned i = 0; i < sizeof bytes_; ++i) {
      const bool inside = i >= kGuard && i < kGuard + n;
      const char want = inside ? written[i - kGuard] : 'x';
      if (bytes_[i] != want) return false;
    }
    return true;
  }

 private:
  char bytes_[kCapacity + 2 * kGuard];
};

const char kMarker[] = "***<br>";  // with its zero, the 8 bytes written
const unsigned kMarkerBytes = sizeof kMarker;

struct VerdictCase {
  const char* text;
  bool valid;
};

// ASCII, GBK, matches inside words and across GBK characters, and bytes a
// locale-aware fold would treat as letters (Latin-1, Turkish dotless i).
const VerdictCase kVerdictCases[] = {
    {"", true},
    {"hello world", true},
    {"sh1t", true},
    {"5178", true},
    {"SHIT happens", false},
    {"Essex", false},
    {"x.Cn", false},
    {"avenue", false},
    {"GCD", false},
    {"gcd", false},
    {"see <IMG src=x>", false},
    {"\xC4\xE3\xBA\xC3", true},           // 你好
    {"\xD6\xD0\xCE\xC4", true},           // 中文
    {"\xB1\xC8\xD5\xE2", false},          // 比这: 日 across two characters
    {"\xB4\xF4\x62", false},              // 呆b: ASCII fold inside a GBK row
    {"x\xA3\xB5\xA3\xB1\xA3\xB7\xA3\xB8\xA3\xB6y", false},  // full-width 51786
    {"\xC2\xE8\xB5\xC4!", false},         // 妈的!
    {"\xC9SSEX", false},
    {"SCRIPT", false},
    {"MAKING", false},
    {"scr\xDDpt", true},
    {"Fal\xFDn", true},
    {"\xC0V", true},
    {"\xE8\xD5", true},
};

struct FiltrateCase {
  const char* in;
  unsigned int out_size;
  bool replaced;        // the expected result
  const char* written;  // what out() must start with afterwards
  unsigned written_bytes;
};

// The outcome table, with the buffer-size boundaries and the rule for a
// banned text in a buffer too small for the marker (only out[0] = 0).
const FiltrateCase kFiltrateCases[] = {
    {"hello", 100, false, "hello", 6},
    {"Visit a.COM now", 100, true, kMarker, kMarkerBytes},
    {"FUCK you", 100, true, kMarker, kMarkerBytes},
    {"<A href=x>", 100, true, kMarker, kMarkerBytes},
    {"", 0, false, "", 1},
    {"hello", 5, false, "hello", 6},
    {"hello", 4, false, "", 0},
    {"fuck", 3, false, "", 0},  // the length test comes before the scan
    {"a", 0, false, "", 0},
    {"fuck", 7, true, kMarker, kMarkerBytes},
    {"sex", 19, true, kMarker, kMarkerBytes},
    {"fine", 0xFFFFFFFFu, false, "fine", 5},
    {"\xC4\xE3\xBA\xC3", 4, false, "\xC4\xE3\xBA\xC3", 5},
    {"\xB1\xC8\xD5\xE2", 100, true, kMarker, kMarkerBytes},
    {"av", 2, true, "", 1},
    {"zav", 3, true, "", 1},
    {"zzav", 4, true, "", 1},
    {"zzzav", 5, true, "", 1},
    {"zzzzav", 6, true, "", 1},
    {"\xB4\xF4\x62", 6, true, "", 1},
};

inline void RunVerdictCases(IsValidFunction is_valid, Checks& checks) {
  for (const VerdictCase& c : kVerdictCases) {
    checks.Expect(is_valid(c.text) == c.valid, "IsValid verdict", c.text);
  }
}

inline void RunFiltrateTable(FiltrateFunction filtrate, Checks& checks) {
  for (const FiltrateCase& c : kFiltrateCases) {
    GuardedBuffer buffer;
    const bool replaced = filtrate(buffer.out(), c.out_size, c.in);
    checks.Expect(replaced == c.replaced, "Filtrate result", c.in);
    checks.Expect(buffer.Holds(c.written, c.written_bytes), "Filtrate bytes",
                  c.in);
  }
}

// Every row of the table (`count` rows) is banned, alone and upper-cased
// inside other text.
inline void RunTableRows(IsValidFunction is_valid, const char* const* rows,
                         unsigned count, Checks& checks) {
  for (unsigned r = 0; r < count; ++r) {
    char text[32];  // "[ROW]" and a zero; rows are at most 10 bytes
    unsigned n = 0;
    text[n++] = '[';
    for (const char* p = rows[r]; *p != '\0' && n < sizeof text - 2; ++p)
      text[n++] = (*p >= 'a' && *p <= 'z') ? static_cast<char>(*p - 'a' + 'A') : *p;
    text[n++] = ']';
    text[n] = '\0';
    checks.Expect(!is_valid(rows[r]), "row banned", rows[r]);
    checks.Expect(!is_valid(text), "row banned upper-cased", rows[r]);
  }
}

// Every case the two functions must agree on, whoever calls them.
inline void RunBehaviourCases(IsValidFunction is_valid,
                              FiltrateFunction filtrate, Checks& checks) {
  checks.Expect(is_valid(0), "IsValid(null) is true");
  RunVerdictCases(is_valid, checks);
  RunFiltrateTable(filtrate, checks);

  {
    GuardedBuffer buffer;
    checks.Expect(!filtrate(buffer.out(), 100, 0), "Filtrate(out, 100, null)");
    checks.Expect(!filtrate(0, 100, "hello"), "Filtrate(null, 100, text)");
    checks.Expect(!filtrate(0, 100, 0), "Filtrate(null, 100, null)");
    checks.Expect(buffer.Holds("", 0), "null arguments write nothing");
  }

  {
    char text[] = "What the FUCK";
    char before[sizeof text];
    CopyText(before, text);
    checks.Expect(!is_valid(text) && !is_valid(text), "IsValid twice");
    checks.Expect(SameBytes(text, before, sizeof text),
                  "IsValid leaves the text alone");
  }

  {
    // In place, and overlapping either way.
    char buf[100];
    CopyText(buf, "what the FUCK");
    checks.Expect(filtrate(buf, 99, buf) && SameBytes(buf, kMarker, 8),
                  "Filtrate in place, banned");
    CopyText(buf, "fine");
    checks.Expect(!filtrate(buf, 99, buf) && SameBytes(buf, "fine", 5),
                  "Filtrate in place, clean");
    CopyText(buf, "0123456789 all clean");
    checks.Expect(!filtrate(buf, 99, buf + 3) &&
                      SameBytes(buf, "3456789 all clean", 18),
                  "Filtrate, output before input");
    CopyText(buf, "0123456789 all clean");
    checks.Expect(!filtrate(buf + 3, 96, buf) &&
                      SameBytes(buf, "0120123456789 all clean", 24),
                  "Filtrate, output after input");
    CopyText(buf, "xx<img src=a>");
    checks.Expect(filtrate(buf + 2, 97, buf) && SameBytes(buf, "xx***<br>", 10),
                  "Filtrate, banned text overlapping the output");
  }

  {
    // Every byte value but zero comes through a clean copy unchanged.
    char text[512];
    unsigned n = 0;
    for (unsigned b = 1; b < 256; ++b) {
      text[n++] = static_cast<char>(b);
      text[n++] = '!';  // no row starts or ends with it
    }
    text[n] = '\0';
    GuardedBuffer buffer;
    checks.Expect(is_valid(text), "every byte value, spaced, is clean");
    checks.Expect(!filtrate(buffer.out(), n, text) && buffer.Holds(text, n + 1),
                  "Filtrate copies every byte value");
  }
}

}  // namespace Host
}  // namespace Tavrin

#endif  // TAVRIN_TESTS_HOSTCASES_H_
