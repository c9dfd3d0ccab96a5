// The C interface (tavrin_c.h). Every function fails closed: a text that
// cannot be screened (a null text with a length, or for the UTF-8 calls no
// converter or no memory for the conversion) is never reported clean, and no
// exception leaves.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "TavrinVersion.h"
#include "api/InputForm.h"
#include "api/ScreenLines.h"
#include "api/ToGbk.h"
#include "matching/BannedWordTable.h"
#include "matching/RowSearch.h"
#include "matching/Scanner.h"
#include "matching/LibrarySetup.h"
#include "tavrin_c.h"

namespace Tavrin {
namespace {

// Requires EnsureWordList() to have been called.
int ScreenBytes(const char* text, std::size_t length) noexcept {
  if (text == nullptr) return length == 0 ? 1 : 0;
  return TextHasBannedWord(text, length) ? 0 : 1;
}

std::size_t FindRows(const char* text, std::size_t length,
                     tavrin_match* matches, std::size_t capacity) noexcept {
  tavrin_match found[kBannedWordCount];
  const std::size_t count = FindEveryRow(text, length, found);
  if (matches != nullptr) std::copy_n(found, std::min(count, capacity), matches);
  return count;
}


}  // namespace
}  // namespace Tavrin

using namespace Tavrin;

extern "C" {

int tavrin_is_valid(const char* text, size_t length) {
  EnsureWordList();
  return ScreenBytes(text, length);
}

int tavrin_is_valid_utf8(const char* text, size_t length) {
  EnsureWordList();
  if (text == nullptr && length != 0) return 0;
  if (!PrepareToGbk(InputEncoding::kUtf8)) {
    // No converter: not screened, but ill-formed UTF-8 is still told apart.
    return FindInvalidUtf8(std::string_view(text, length)) ==
                   std::string_view::npos
               ? 0
               : -1;
  }
  switch (ScreenConvertedText(InputEncoding::kUtf8, text, length)) {
    case TAVRIN_CLEAN:
      return 1;
    case TAVRIN_INVALID:
      return -1;
  }
  return 0;
}

size_t tavrin_find(const char* text, size_t length, tavrin_match* matches,
                   size_t capacity) {
  EnsureWordList();
  if (text == nullptr && length != 0) return TAVRIN_FIND_FAILED;
  return FindRows(text, length, matches, capacity);
}

size_t tavrin_find_utf8(const char* text, size_t length, tavrin_match* matches,
                        size_t capacity) {
  EnsureWordList();
  if (text == nullptr && length != 0) return TAVRIN_FIND_FAILED;
  if (!PrepareToGbk(InputEncoding::kUtf8)) return TAVRIN_FIND_FAILED;
  try {
    std::string gbk;
    std::size_t bad_offset = 0;
    if (ConvertToGbk(InputEncoding::kUtf8, std::string_view(text, length), gbk,
                     &bad_offset)) {
      return FindRows(gbk.data(), gbk.size(), matches, capacity);
    }
  } catch (...) {
    // Out of memory for the GBK form: not screened.
  }
  return TAVRIN_FIND_FAILED;
}

void tavrin_is_valid_many(const char* const* texts, const size_t* lengths,
                          size_t count, unsigned char* results) {
  if (results == nullptr) return;
  EnsureWordList();
  const bool screenable =
      count == 0 || (texts != nullptr && lengths != nullptr);
  for (size_t i = 0; i < count; ++i) {
    results[i] =
        screenable
            ? static_cast<unsigned char>(ScreenBytes(texts[i], lengths[i]))
            : 0;
  }
}

size_t tavrin_screen_lines(const char* data, size_t length,
                           unsigned char* verdicts, size_t capacity,
                           size_t* consumed) {
  EnsureWordList();
  return ScreenGbkLines(data, length, verdicts, capacity, consumed);
}

size_t tavrin_screen_lines_utf8(const char* data, size_t length,
                                unsigned char* verdicts, size_t capacity,
                                size_t* consumed) {
  EnsureWordList();
  if (!PrepareToGbk(InputEncoding::kUtf8)) {
    if (consumed != nullptr) *consumed = 0;
    return 0;
  }
  return ScreenConvertedLines(InputEncoding::kUtf8, data, length, verdicts, capacity,
                              consumed);
}

int tavrin_input_form(const char* head, size_t length, unsigned flags) {
  return DecideInputForm(head != nullptr ? std::string_view(head, length)
                                         : std::string_view(),
                         flags);
}

int tavrin_utf16_is_text(const char* window, size_t length, int big_endian) {
  if (window == nullptr) return 0;
  return Utf16WindowIsText(std::string_view(window, length), big_endian != 0) ? 1 : 0;
}

const char* tavrin_row(unsigned row, size_t* length) {
  if (row < 1 || row > kBannedWordCount) {
    if (length != nullptr) *length = 0;
    return nullptr;
  }
  const char* bytes = BannedWordTable[row - 1];
  if (length != nullptr) *length = std::strlen(bytes);
  return bytes;
}

const char* tavrin_version(void) { return TAVRIN_VERSION; }

}  // extern "C"
