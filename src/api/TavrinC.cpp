// The C interface (tavrin_c.h). Every function fails closed: a text that
// cannot be screened (a null text with a length, or for the UTF-8 calls no
// converter or no memory for the conversion) is never reported clean, and no
// exception leaves.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "api/Utf8ToGbk.h"
#include "matching/BannedWordTable.h"
#include "matching/RowSearch.h"
#include "matching/Scanner.h"
#include "matching/WordList.h"
#include "tavrin_c.h"

#ifndef TAVRIN_VERSION_TEXT
#error "TAVRIN_VERSION_TEXT must be defined by the build (PROJECT_VERSION)"
#endif

namespace Tavrin {
namespace {

// Requires EnsureWordList() to have been called.
int ScreenBytes(const char* text, std::size_t length) noexcept {
  if (text == nullptr) return length == 0 ? 1 : 0;
  return TextHasBannedWord(text, length) ? 0 : 1;
}

std::size_t FindRows(const char* text, std::size_t length,
                     tavrin_match* matches, std::size_t capacity) noexcept {
  RowOccurrence found[kBannedWordCount];
  const std::size_t count = FindEveryRow(text, length, found);
  if (matches != nullptr) {
    for (std::size_t i = 0; i < std::min(count, capacity); ++i) {
      matches[i].row = found[i].row;
      matches[i].offset = found[i].offset;
    }
  }
  return count;
}

// The GBK form of a UTF-8 text, through a converter of this call's own: an
// iconv descriptor serves one thread at a time, and opening one is cheap
// next to a call through a foreign-function interface.
enum class Conversion { kDone, kNotUtf8, kUnavailable };

Conversion ToGbk(const char* text, std::size_t length, std::string& gbk) {
  const std::string_view utf8(text, length);
  Utf8ToGbk converter;
  if (!converter.ok()) {
    return FindInvalidUtf8(utf8) == std::string_view::npos
               ? Conversion::kUnavailable
               : Conversion::kNotUtf8;
  }
  std::size_t bad_offset = 0;
  return converter.Convert(utf8, gbk, &bad_offset) ? Conversion::kDone
                                                   : Conversion::kNotUtf8;
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
  try {
    std::string gbk;
    switch (ToGbk(text, length, gbk)) {
      case Conversion::kDone:
        return ScreenBytes(gbk.data(), gbk.size());
      case Conversion::kNotUtf8:
        return -1;
      case Conversion::kUnavailable:
        return 0;
    }
  } catch (...) {
    // Out of memory for the GBK form: not screened.
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
  try {
    std::string gbk;
    if (ToGbk(text, length, gbk) == Conversion::kDone) {
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

const char* tavrin_row(unsigned row, size_t* length) {
  if (row < 1 || row > kBannedWordCount) {
    if (length != nullptr) *length = 0;
    return nullptr;
  }
  const char* bytes = BannedWordTable[row - 1];
  if (length != nullptr) *length = std::strlen(bytes);
  return bytes;
}

const char* tavrin_version(void) { return TAVRIN_VERSION_TEXT; }

}  // extern "C"
