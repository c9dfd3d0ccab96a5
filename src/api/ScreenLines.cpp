#include "api/ScreenLines.h"

#include <cstring>

#include "api/ToGbk.h"
#include "matching/BannedWordTable.h"
#include "matching/Scanner.h"
#include "tavrin_c.h"

namespace Tavrin {
namespace {

// Bytes of GBK a UTF-8 text is screened in at a time, on the stack. A row
// may begin in one piece and end in the next, so each piece after the first
// begins with the last kLongestBannedWord - 1 bytes of the one before.
constexpr std::size_t kPieceLength = 1024;
constexpr std::size_t kOverlap = kLongestBannedWord - 1;

// Where the line that starts at data[start] ends: its newline, or the end
// of the data.
std::size_t LineEnd(const char* data, std::size_t length,
                    std::size_t start) noexcept {
  const void* newline = std::memchr(data + start, '\n', length - start);
  return newline != nullptr
             ? static_cast<std::size_t>(static_cast<const char*>(newline) - data)
             : length;
}

template <typename Verdict>
std::size_t ScreenEachLine(const char* data, std::size_t length,
                           unsigned char* verdicts, std::size_t capacity,
                           std::size_t* consumed, Verdict verdict) noexcept {
  std::size_t lines = 0, at = 0;
  if ((data != nullptr || length == 0) && (verdicts != nullptr || capacity == 0)) {
    while (lines < capacity && at < length) {
      const std::size_t end = LineEnd(data, length, at);
      verdicts[lines++] = verdict(data + at, end - at);
      at = end < length ? end + 1 : length;
    }
  }
  if (consumed != nullptr) *consumed = at;
  return lines;
}

}  // namespace

std::size_t ScreenGbkLines(const char* data, std::size_t length,
                           unsigned char* verdicts, std::size_t capacity,
                           std::size_t* consumed) noexcept {
  return ScreenEachLine(data, length, verdicts, capacity, consumed,
                        [](const char* line, std::size_t n) -> unsigned char {
                          return TextHasBannedWord(line, n) ? TAVRIN_BANNED
                                                            : TAVRIN_CLEAN;
                        });
}

std::size_t ScreenUtf8Lines(const char* data, std::size_t length,
                            unsigned char* verdicts, std::size_t capacity,
                            std::size_t* consumed) noexcept {
  return ScreenEachLine(data, length, verdicts, capacity, consumed,
                        ScreenUtf8Text);
}

unsigned char ScreenUtf8Text(const char* text, std::size_t length) noexcept {
  char piece[kOverlap + kPieceLength];
  std::size_t held = 0, read = 0;
  bool banned = false;
  for (;;) {
    const ToGbkStep step =
        TranscodeToGbk(InputEncoding::kUtf8, text + read, length - read,
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
