// Design note. A byte-order mark is two bytes that anyone can type at the
// start of a chat line, so it is evidence, not an order. Read as UTF-16,
// ASCII or GBK bytes turn into CJK-looking characters that hold no row, and
// a whole log would pass as clean. What such bytes never have is a UTF-16
// code unit below U+0100: that takes a zero byte in the high half of a code
// unit, and text logs hold no zero bytes. Real UTF-16 text has such code
// units in every stretch, in its line breaks, spaces, digits and ASCII
// punctuation. So a mark is obeyed only when the text after it shows one,
// and a reader that obeys it asks the same of every later window, so that a
// forged first line cannot carry the rest of the input. Screening the bytes
// beside the UTF-16 text was measured and rejected: UTF-16 Chinese holds the
// ASCII pairs of two-byte rows ("sb", "av") by chance, in a third of the
// clean 3 KB files of Debian's Chinese catalogues.
#include "api/InputForm.h"

#include <algorithm>

#include "tavrin_c.h"

namespace Tavrin {
namespace {

// Pairs of bytes that must show UTF-16's zero bytes before an input without a
// mark is taken for UTF-16, unless every pair does: below that, a zero byte
// in a short line ("sex\0\n") is an ordinary byte.
constexpr std::size_t kLeastUnmarkedEvidence = 8;

bool IsMark(std::string_view head, char first, char second) noexcept {
  return head.size() >= 2 && head[0] == first && head[1] == second;
}

// An input without a mark that looks like UTF-16: at least half of its byte
// pairs, and kLeastUnmarkedEvidence of them or all, hold a zero byte beside
// a nonzero one, on the same side.
int UnmarkedUtf16Form(std::string_view sample) noexcept {
  const std::size_t pairs = sample.size() / 2;
  std::size_t zero_second = 0, zero_first = 0;
  for (std::size_t i = 0; i < pairs; ++i) {
    const bool first = sample[2 * i] == '\0', second = sample[2 * i + 1] == '\0';
    zero_second += second && !first;
    zero_first += first && !second;
  }
  const std::size_t evidence = std::max(zero_second, zero_first);
  if (pairs < 2 || 2 * evidence < pairs ||
      (evidence < kLeastUnmarkedEvidence && evidence < pairs)) {
    return TAVRIN_INPUT_BYTES;
  }
  // ASCII in UTF-16 LE is the byte and then zero.
  return zero_second >= zero_first ? TAVRIN_INPUT_UTF16LE_UNMARKED
                                   : TAVRIN_INPUT_UTF16BE_UNMARKED;
}

}  // namespace

bool Utf16WindowIsText(std::string_view window, bool big_endian) noexcept {
  const std::size_t high = big_endian ? 0 : 1;
  for (std::size_t i = 0; i + 1 < window.size(); i += 2) {
    if (window[i + high] == '\0' && window[i + 1 - high] != '\0') return true;
  }
  return false;
}

int DecideInputForm(std::string_view head, unsigned flags) noexcept {
  const std::string_view sample = head.substr(0, TAVRIN_INPUT_SAMPLE);
  const bool little = IsMark(sample, '\xFF', '\xFE');
  if (!little && !IsMark(sample, '\xFE', '\xFF')) return UnmarkedUtf16Form(sample);
  const std::string_view text = sample.substr(2);
  // A mark alone is an empty UTF-16 text (Notepad saves one so): no line.
  const bool empty_text = text.empty() && (flags & TAVRIN_INPUT_WHOLE) != 0;
  if (!empty_text && !Utf16WindowIsText(text, !little)) return TAVRIN_INPUT_FALSE_MARK;
  if ((flags & TAVRIN_INPUT_ENCODING_NAMED) != 0) return TAVRIN_INPUT_MARK_CONTRADICTED;
  return little ? TAVRIN_INPUT_UTF16LE : TAVRIN_INPUT_UTF16BE;
}

}  // namespace Tavrin
