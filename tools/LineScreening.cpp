#include "LineScreening.h"

#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "Tavrin.h"
#include "matching/BannedWordTable.h"
#include "matching/NoCaseString.h"
#include "matching/WordList.h"

namespace TavrinCli {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kMarkerLength = 7;  // "***<br>"
const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

// The length of the well-formed UTF-8 sequence at text[i], or 0.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
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

// ---------------------------------------------------------------- lines

LineParts SplitEnding(std::string_view line) noexcept {
  std::size_t ending = 0;
  if (!line.empty() && line.back() == '\n') {
    ending = (line.size() >= 2 && line[line.size() - 2] == '\r') ? 2 : 1;
  }
  return {line.substr(0, line.size() - ending),
          line.substr(line.size() - ending)};
}

bool LineReader::Fill() {
  const std::size_t old_size = buffer_.size();
  buffer_.resize(old_size + kReadChunk);
  ssize_t n;
  do {
    n = ::read(fd_, &buffer_[old_size], kReadChunk);
  } while (n < 0 && errno == EINTR);
  if (n < 0) {
    error_ = errno;
    n = 0;
  } else if (n == 0) {
    eof_ = true;
  }
  buffer_.resize(old_size + static_cast<std::size_t>(n));
  return n > 0;
}

bool LineReader::Next(std::string& line) {
  std::size_t scan_from = start_;
  for (;;) {
    const std::size_t newline = buffer_.find('\n', scan_from);
    if (newline != std::string::npos) {
      line.assign(buffer_, start_, newline + 1 - start_);
      start_ = newline + 1;
      return true;
    }
    if (error_ != 0) return false;  // a line cut short by an error is dropped
    if (eof_) {
      if (start_ == buffer_.size()) return false;
      line.assign(buffer_, start_, std::string::npos);
      start_ = buffer_.size();
      return true;
    }
    // Keep only the unfinished line, then read more of it.
    buffer_.erase(0, start_);
    start_ = 0;
    scan_from = buffer_.size();
    Fill();
  }
}

// ---------------------------------------------------------------- encodings

bool ParseEncoding(std::string_view name, Encoding* encoding) noexcept {
  if (EqualsIgnoringCase(name, "gbk") || EqualsIgnoringCase(name, "cp936")) {
    *encoding = Encoding::kGbk;
    return true;
  }
  if (EqualsIgnoringCase(name, "utf-8") || EqualsIgnoringCase(name, "utf8")) {
    *encoding = Encoding::kUtf8;
    return true;
  }
  return false;
}

std::size_t FindInvalidUtf8(std::string_view text) noexcept {
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) return i;
    i += length;
  }
  return std::string_view::npos;
}

Utf8ToGbk::Utf8ToGbk() : cd_(iconv_open("GBK", "UTF-8")) {}

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

std::string GbkToUtf8ForDisplay(std::string_view gbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == kNoConversion) return std::string(gbk);
  std::string utf8(gbk.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(gbk.data());
  std::size_t in_left = gbk.size();
  char* out = &utf8[0];
  std::size_t out_left = utf8.size();
  const std::size_t result = iconv(cd, &in, &in_left, &out, &out_left);
  iconv_close(cd);
  if (result == static_cast<std::size_t>(-1)) return std::string(gbk);
  utf8.resize(utf8.size() - out_left);
  return utf8;
}

std::string HexBytes(std::string_view bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i > 0) hex += ' ';
    const auto b = static_cast<unsigned char>(bytes[i]);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 0x0F];
  }
  return hex;
}

// ---------------------------------------------------------------- decisions

std::string_view RowBytes(std::size_t row) noexcept {
  if (row < 1 || row > Tavrin::kBannedWordCount) return {};
  return Tavrin::BannedWordTable[row - 1];
}

LineScreener::LineScreener(Encoding encoding) : encoding_(encoding) {}

bool LineScreener::ok() const noexcept {
  return encoding_ == Encoding::kGbk || converter_.ok();
}

bool LineScreener::Prepare(std::string_view line) {
  if (encoding_ == Encoding::kUtf8) {
    return converter_.Convert(line, screened_, &error_offset_);
  }
  screened_.assign(line.data(), line.size());
  return true;
}

// The pieces between zero bytes of screened_ are each zero-terminated in
// place: by the next zero byte, or by the string's own terminator.

Verdict LineScreener::Check(std::string_view line) {
  if (!Prepare(line)) return Verdict::kError;
  const char* bytes = screened_.c_str();
  std::size_t start = 0;
  for (;;) {
    if (!Tavrin::IsValid(bytes + start)) return Verdict::kBanned;
    const std::size_t zero = screened_.find('\0', start);
    if (zero == std::string::npos) return Verdict::kClean;
    start = zero + 1;
  }
}

Verdict LineScreener::Filter(std::string_view line, std::string& out) {
  out.clear();
  if (!Prepare(line)) {
    out = "***<br>";
    return Verdict::kError;
  }
  const char* bytes = screened_.c_str();
  std::size_t start = 0;
  for (;;) {
    const std::size_t zero = screened_.find('\0', start);
    const std::size_t length =
        (zero == std::string::npos ? screened_.size() : zero) - start;
    bool banned;
    if (length > UINT_MAX) {
      // Too long for Filtrate's unsigned int size; IsValid has no limit.
      banned = !Tavrin::IsValid(bytes + start);
      if (banned) out = "***<br>";
    } else {
      // Filtrate writes its marker only when outSize is at least 7.
      const std::size_t size = std::max(length, kMarkerLength);
      filtered_.resize(size + 1);
      banned = Tavrin::Filtrate(filtered_.data(),
                                static_cast<unsigned int>(size),
                                bytes + start);
      if (banned) {
        out.assign(filtered_.data());
      } else if (encoding_ == Encoding::kGbk) {
        out.append(filtered_.data(), length);
      }
    }
    if (banned) return Verdict::kBanned;
    if (zero == std::string::npos) break;
    if (encoding_ == Encoding::kGbk) out += '\0';
    start = zero + 1;
  }
  // A clean UTF-8 line goes out as it came in, not as the GBK screened.
  if (encoding_ == Encoding::kUtf8) out.assign(line.data(), line.size());
  return Verdict::kClean;
}

Verdict LineScreener::Explain(std::string_view line,
                              std::vector<RowHit>& hits) {
  hits.clear();
  const Verdict verdict = Check(line);
  if (verdict != Verdict::kBanned) return verdict;
  Tavrin::EnsureWordList();

  // The literal walk, the reference model of the verdicts: every row, in
  // every zero-free piece, first occurrence wins.
  std::vector<std::pair<std::size_t, Tavrin::NoCaseString>> pieces;
  std::size_t start = 0;
  for (;;) {
    pieces.emplace_back(start, Tavrin::NoCaseString(screened_.c_str() + start));
    const std::size_t zero = screened_.find('\0', start);
    if (zero == std::string::npos) break;
    start = zero + 1;
  }
  for (std::size_t r = 0; r < Tavrin::WordList.size(); ++r) {
    for (const auto& piece : pieces) {
      const std::size_t at = piece.second.find(Tavrin::WordList[r]);
      if (at != Tavrin::NoCaseString::npos) {
        hits.push_back({r + 1, piece.first + at});
        break;
      }
    }
  }
  return verdict;
}

// ---------------------------------------------------------------- output

std::string_view VerdictName(Verdict verdict) noexcept {
  switch (verdict) {
    case Verdict::kClean:
      return "clean";
    case Verdict::kBanned:
      return "banned";
    case Verdict::kError:
      break;
  }
  return "error";
}

std::string FormatVerdict(std::string_view name, std::size_t line_number,
                          Verdict verdict) {
  std::string text(name);
  text += ':';
  text += std::to_string(line_number);
  text += ": ";
  text += VerdictName(verdict);
  return text;
}

std::string FormatHit(std::string_view name, std::size_t line_number,
                      const RowHit& hit) {
  const std::string_view bytes = RowBytes(hit.row);
  std::string text(name);
  text += ':';
  text += std::to_string(line_number);
  text += ": row ";
  text += std::to_string(hit.row);
  text += " at byte ";
  text += std::to_string(hit.offset);
  text += ": ";
  text += HexBytes(bytes);
  text += " \"";
  text += GbkToUtf8ForDisplay(bytes);
  text += '"';
  return text;
}

}  // namespace TavrinCli
