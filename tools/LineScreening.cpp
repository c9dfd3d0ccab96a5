#include "LineScreening.h"

#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "tavrin_c.h"

namespace Tavrin {
namespace Cli {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
const iconv_t kNoConversion = reinterpret_cast<iconv_t>(-1);

// Option values compare with the library's case fold.
bool NamesMatch(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            Tavrin::EqualIgnoringAsciiCase);
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
  if (NamesMatch(name, "gbk") || NamesMatch(name, "cp936")) {
    *encoding = Encoding::kGbk;
    return true;
  }
  if (NamesMatch(name, "utf-8") || NamesMatch(name, "utf8")) {
    *encoding = Encoding::kUtf8;
    return true;
  }
  return false;
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
  std::size_t length = 0;
  const char* bytes =
      row <= Tavrin::kBannedWordCount
          ? tavrin_row(static_cast<unsigned>(row), &length)
          : nullptr;
  return bytes != nullptr ? std::string_view(bytes, length) : std::string_view();
}

LineScreener::LineScreener(Encoding encoding) : encoding_(encoding) {}

bool LineScreener::ok() const noexcept {
  return encoding_ == Encoding::kGbk ||
         Tavrin::PrepareToGbk(Tavrin::InputEncoding::kUtf8);
}

bool LineScreener::Prepare(std::string_view line) {
  if (encoding_ == Encoding::kGbk) {
    screened_ = line;  // screened in place, not copied
    return true;
  }
  if (!Tavrin::ConvertToGbk(Tavrin::InputEncoding::kUtf8, line, gbk_,
                            &error_offset_))
    return false;
  screened_ = gbk_;
  return true;
}

Verdict LineScreener::Check(std::string_view line) {
  if (!Prepare(line)) return Verdict::kError;
  return tavrin_is_valid(screened_.data(), screened_.size()) == 1
             ? Verdict::kClean
             : Verdict::kBanned;
}

Verdict LineScreener::Filter(std::string_view line, std::string& out) {
  const Verdict verdict = Check(line);
  if (verdict == Verdict::kClean) {
    // A clean UTF-8 line goes out as it came in, not as the GBK screened.
    out.assign(line.data(), line.size());
  } else {
    out.assign(Tavrin::FilteredMarker, Tavrin::kFilteredMarkerLength);
  }
  return verdict;
}

Verdict LineScreener::Explain(std::string_view line,
                              std::vector<RowHit>& hits) {
  hits.clear();
  if (!Prepare(line)) return Verdict::kError;
  // A null screened_.data() comes with a length of 0, so tavrin_find cannot
  // fail here.
  tavrin_match matches[Tavrin::kBannedWordCount];
  const std::size_t count = tavrin_find(screened_.data(), screened_.size(),
                                        matches, Tavrin::kBannedWordCount);
  for (std::size_t i = 0; i < count; ++i) {
    hits.push_back({matches[i].row, matches[i].offset});
  }
  return count == 0 ? Verdict::kClean : Verdict::kBanned;
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

}  // namespace Cli
}  // namespace Tavrin
