#include "api/Utf8ToGbk.h"

#include <iconv.h>

#include <cerrno>

namespace Tavrin {
namespace {

const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

// The length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) noexcept {
  const auto byte = [&](std::size_t k) {
    return static_cast<unsigned char>(text[k]);
  };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length;
  unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  return length;
}

}  // namespace

std::size_t FindInvalidUtf8(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) return i;
    i += length;
  }
  return std::string_view::npos;
}

Utf8ToGbk::Utf8ToGbk() noexcept : cd_(iconv_open("GBK", "UTF-8")) {}

Utf8ToGbk::~Utf8ToGbk() {
  if (ok()) iconv_close(static_cast<iconv_t>(cd_));
}

bool Utf8ToGbk::ok() const noexcept {
  return static_cast<iconv_t>(cd_) != kNoConversion;
}

bool Utf8ToGbk::Convert(std::string_view utf8, std::string& gbk,
                        std::size_t* bad_offset) {
  gbk.clear();
  const std::size_t invalid = FindInvalidUtf8(utf8);
  if (invalid != std::string_view::npos) {
    *bad_offset = invalid;
    return false;
  }
  const iconv_t cd = static_cast<iconv_t>(cd_);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // initial state

  // GBK never takes more bytes than UTF-8 for the same text; the loop grows
  // the buffer anyway should a converter think otherwise.
  gbk.resize(utf8.size() + 16);
  std::size_t written = 0;
  char* in = const_cast<char*>(utf8.data());
  std::size_t in_left = utf8.size();
  while (in_left > 0) {
    char* out = &gbk[written];
    std::size_t out_left = gbk.size() - written;
    const std::size_t result = iconv(cd, &in, &in_left, &out, &out_left);
    written = gbk.size() - out_left;
    if (result != static_cast<std::size_t>(-1)) break;
    if (errno == E2BIG) {
      gbk.resize(gbk.size() * 2);
    } else {
      // The input is well-formed, so this character has no GBK form (or the
      // converter gave up on it): screen it as '?'.
      const std::size_t at = utf8.size() - in_left;
      std::size_t length = Utf8SequenceLength(utf8, at);
      if (length == 0) length = 1;
      if (written == gbk.size()) gbk.resize(gbk.size() * 2);
      gbk[written++] = '?';
      in += length;
      in_left -= length;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  gbk.resize(written);
  return true;
}

}  // namespace Tavrin
