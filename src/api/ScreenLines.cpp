#include "api/ScreenLines.h"

#include <cstdint>
#include <cstring>

#include "api/ToGbk.h"
#include "matching/BannedWordTable.h"
#include "matching/Scanner.h"
#include "tavrin_c.h"

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TAVRIN_COUNT_WITH_SSE2 1
#endif

// Design: a buffer of lines is scanned, not its lines. The scanner runs over
// a window of the buffer (about kWindowLength bytes, ending at a line's end)
// and stops at the first row; the lines before the one that row lies in are
// clean, and are only counted, with a vectorised newline count; that line is
// banned, and the scan goes on from the next one. No row holds '\n', so no
// row lies across two lines, and a row found in the window lies in one of
// its lines. A window's bytes stay in the cache between the scan and the
// count.
namespace Tavrin {
namespace {

constexpr std::size_t kWindowLength = 64 * 1024;
// Up to this many lines wanted, a window ends with the last of them.
constexpr std::size_t kFewLines = 16;

// Bytes of GBK the bulk calls of UTF-8 and GB18030 convert a window of
// lines into, on the stack; and the ill-formed lines one window marks at
// most (it ends after the line that fills the marks).
// Together they take 4 KiB.
constexpr std::size_t kMarksPerWindow = 64;
constexpr std::size_t kConvertedWindow = 4 * 1024 - kMarksPerWindow * sizeof(std::uint16_t);

// Bytes of GBK a UTF-8 text is screened in at a time, on the stack. A row
// may begin in one piece and end in the next, so each piece after the first
// begins with the last kLongestBannedWord - 1 bytes of the one before.
constexpr std::size_t kPieceLength = 1024;
constexpr std::size_t kOverlap = kLongestBannedWord - 1;

// The number of newlines in text[0 .. length).
std::size_t CountNewlines(const char* text, std::size_t length) noexcept {
  std::size_t count = 0, i = 0;
#if defined(TAVRIN_COUNT_WITH_SSE2)
  const __m128i newline = _mm_set1_epi8('\n');
  while (length - i >= 16) {
    // Up to 255 blocks add into byte counters (each match adds -1 as 0xFF
    // subtracted), then the counters are summed.
    std::size_t blocks = (length - i) / 16;
    if (blocks > 255) blocks = 255;
    __m128i counters = _mm_setzero_si128();
    for (std::size_t b = 0; b < blocks; ++b, i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
      counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(bytes, newline));
    }
    const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; i < length; ++i) count += text[i] == '\n';
  return count;
}

// Where the line that starts at data[start] ends: its newline, or the end
// of the data.
std::size_t LineEnd(const char* data, std::size_t length,
                    std::size_t start) noexcept {
  const void* newline = std::memchr(data + start, '\n', length - start);
  return newline != nullptr
             ? static_cast<std::size_t>(static_cast<const char*>(newline) - data)
             : length;
}

// Where the line holding data[at] begins, not before `from`.
std::size_t LineStart(const char* data, std::size_t from, std::size_t at) noexcept {
  const void* newline = memrchr(data + from, '\n', at - from);
  return newline != nullptr
             ? static_cast<std::size_t>(static_cast<const char*>(newline) - data) + 1
             : from;
}

// Counts the lines of data[from .. to) as clean, at most `room` of them:
// writes their verdicts and returns how many, with the end of the last one
// in *end. Each line ends with a newline, but that the last may end at
// `to` == `length` without one.
std::size_t CleanLines(const char* data, std::size_t length, std::size_t from,
                       std::size_t to, unsigned char* verdicts, std::size_t room,
                       std::size_t* end) noexcept {
  std::size_t lines = CountNewlines(data + from, to - from);
  if (to == length && to > from && data[to - 1] != '\n') ++lines;  // the last line
  if (lines <= room) {
    *end = to;
  } else {
    lines = room;
    std::size_t at = from;
    for (std::size_t n = 0; n < room; ++n) at = LineEnd(data, length, at) + 1;
    *end = at;
  }
  std::memset(verdicts, TAVRIN_CLEAN, lines);
  return lines;
}

bool Screenable(const char* data, std::size_t length,
                const unsigned char* verdicts, std::size_t capacity) noexcept {
  return (data != nullptr || length == 0) && (verdicts != nullptr || capacity == 0);
}

}  // namespace

namespace {

// The lines of one window, data[start .. limit), as the scan reports the
// rows in it: the lines before a row's line are clean, its line is banned,
// and the scan goes on from the next line.
struct WindowLines {
  const char* data;
  std::size_t length;  // the buffer's
  std::size_t start, limit;
  unsigned char* verdicts;
  std::size_t capacity;
  std::size_t lines;  // verdicts written
  std::size_t at;     // where the next line starts
  bool full;          // `capacity` verdicts are written

  static std::size_t AtRow(void* context, std::size_t end) noexcept {
    WindowLines& w = *static_cast<WindowLines*>(context);
    const std::size_t row_end = w.start + end - 1;  // the row's last byte
    const std::size_t banned_line = LineStart(w.data, w.at, row_end);
    std::size_t clean_end;
    w.lines += CleanLines(w.data, w.length, w.at, banned_line, w.verdicts + w.lines,
                          w.capacity - w.lines, &clean_end);
    w.at = clean_end;
    if (w.at == banned_line && w.lines < w.capacity) {
      w.verdicts[w.lines++] = TAVRIN_BANNED;
      w.at = LineEnd(w.data, w.length, row_end);
      if (w.at < w.length) ++w.at;
    }
    w.full = w.lines == w.capacity;
    return w.full ? SIZE_MAX : w.at - w.start;  // past the window when done
  }
};

}  // namespace

std::size_t ScreenGbkLines(const char* data, std::size_t length,
                           unsigned char* verdicts, std::size_t capacity,
                           std::size_t* consumed) noexcept {
  if (!Screenable(data, length, verdicts, capacity)) capacity = 0;
  WindowLines w{data, length, 0, 0, verdicts, capacity, 0, 0, capacity == 0};
  while (!w.full && w.at < length) {
    // The window: kWindowLength bytes on, to the end of the line there; but
    // no further than the lines still wanted, when they are few, so that a
    // call for a line or two does not scan far ahead. Every row in it is
    // reported in one scan, which goes on after each banned line.
    w.start = w.at;
    w.limit = length;
    if (length - w.at > kWindowLength) {
      w.limit = LineEnd(data, length, w.at + kWindowLength);
      if (w.limit < length) ++w.limit;
    }
    if (capacity - w.lines <= kFewLines) {
      std::size_t end = w.at;
      for (std::size_t n = w.lines; n < capacity && end < w.limit; ++n)
        end = LineEnd(data, w.limit, end) + 1;
      if (end < w.limit) w.limit = end;
    }
    ForEachBannedWordEnd(data + w.start, w.limit - w.start,
                         RowVisitor{WindowLines::AtRow, &w});
    if (w.full || w.at >= w.limit) continue;
    // No row after the last banned line: the rest of the window is clean.
    std::size_t clean_end;
    w.lines += CleanLines(data, length, w.at, w.limit, verdicts + w.lines,
                          capacity - w.lines, &clean_end);
    w.at = clean_end;
    w.full = w.lines == capacity;
  }
  if (consumed != nullptr) *consumed = w.at;
  return w.lines;
}

std::size_t ScreenConvertedLines(InputEncoding encoding, const char* data,
                                 std::size_t length, unsigned char* verdicts,
                                 std::size_t capacity, std::size_t* consumed) noexcept {
  // A window of lines is converted into `gbk` in one pass, screened in one
  // call, and its ill-formed lines then marked. Newlines are ASCII and no
  // GBK character holds a '\n' byte, so the window's newlines are the
  // input's, line for line; an ill-formed line becomes "?" there, its
  // number is kept in `marks`, and its verdict becomes TAVRIN_INVALID once
  // the window is screened. A stretch of ASCII lines is screened where it
  // lies; a line that does not fit the window alone is screened piece by
  // piece.
  char gbk[kConvertedWindow];
  std::uint16_t marks[kMarksPerWindow];
  std::size_t lines = 0, at = 0;
  if (!Screenable(data, length, verdicts, capacity)) capacity = 0;
  while (lines < capacity && at < length) {
    const std::size_t span = length - at < kWindowLength ? length - at : kWindowLength;
    const std::size_t ascii = AsciiPrefixLength(data + at, span);
    std::size_t whole = ascii == length - at ? ascii : 0;
    if (whole == 0 && ascii > 0) {
      const void* last = memrchr(data + at, '\n', ascii);
      if (last != nullptr)
        whole = static_cast<std::size_t>(static_cast<const char*>(last) - (data + at)) + 1;
    }
    if (whole > 0) {
      std::size_t used;
      lines += ScreenGbkLines(data + at, whole, verdicts + lines, capacity - lines, &used);
      at += used;
      continue;
    }

    // 1. Convert: data[at .. read) into gbk[0 .. written).
    std::size_t read = at, written = 0, marked = 0;
    std::size_t newlines = 0, counted = 0;  // newlines in gbk[0 .. counted)
    for (;;) {
      const ToGbkStep step = TranscodeToGbk(encoding, data + read, length - read,
                                            gbk + written, sizeof gbk - written);
      read += step.read;
      written += step.written;
      if (!step.ill_formed) break;
      const void* last = memrchr(gbk, '\n', written);
      const std::size_t line_start =
          last != nullptr ? static_cast<std::size_t>(static_cast<const char*>(last) - gbk) + 1
                          : 0;
      if (sizeof gbk - line_start < 2) {  // no room for "?\n": the next window's
        read = LineStart(data, at, read);
        written = line_start;
        break;
      }
      newlines += CountNewlines(gbk + counted, line_start - counted);
      marks[marked++] = static_cast<std::uint16_t>(newlines);
      written = line_start;
      gbk[written++] = '?';
      const void* newline = std::memchr(data + read, '\n', length - read);
      if (newline == nullptr) {
        read = length;
        break;
      }
      gbk[written++] = '\n';
      read = static_cast<std::size_t>(static_cast<const char*>(newline) - data) + 1;
      counted = written;
      ++newlines;
      if (marked == kMarksPerWindow) break;
    }

    // 2. The window: its whole lines, up to its last newline unless the
    // input ends in it.
    std::size_t window = written, next = read;
    if (read < length && (written == 0 || gbk[written - 1] != '\n')) {
      const void* last = memrchr(gbk, '\n', written);
      if (last == nullptr) {  // one line longer than the window
        const std::size_t end = LineEnd(data, length, at);
        verdicts[lines++] = ScreenConvertedText(encoding, data + at, end - at);
        at = end < length ? end + 1 : length;
        continue;
      }
      window = static_cast<std::size_t>(static_cast<const char*>(last) - gbk) + 1;
      next = LineStart(data, at, read);
    }

    // 3. Screen it, and mark its ill-formed lines.
    std::size_t used = 0;
    const std::size_t n =
        ScreenGbkLines(gbk, window, verdicts + lines, capacity - lines, &used);
    for (std::size_t k = 0; k < marked; ++k)
      if (marks[k] < n) verdicts[lines + marks[k]] = TAVRIN_INVALID;
    if (used == window) {
      at = next;
    } else {  // `capacity` lines: as many lines on
      for (std::size_t k = 0; k < n; ++k) at = LineEnd(data, length, at) + 1;
    }
    lines += n;
  }
  if (consumed != nullptr) *consumed = at;
  return lines;
}

unsigned char ScreenConvertedText(InputEncoding encoding, const char* text,
                                  std::size_t length) noexcept {
  char piece[kOverlap + kPieceLength];
  std::size_t held = 0, read = 0;
  bool banned = false;
  for (;;) {
    const ToGbkStep step = TranscodeToGbk(encoding, text + read, length - read,
                                          piece + held, sizeof piece - held);
    read += step.read;
    held += step.written;
    if (step.ill_formed) return TAVRIN_INVALID;
    // Once banned, the rest is only converted, to find an ill-formed byte.
    banned = banned || TextHasBannedWord(piece, held);
    if (read == length) return banned ? TAVRIN_BANNED : TAVRIN_CLEAN;
    const std::size_t keep = held < kOverlap ? held : kOverlap;
    std::memmove(piece, piece + held - keep, keep);
    held = keep;
  }
}

}  // namespace Tavrin
