#include "Report.h"

#include <iconv.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "JsonLines.h"

namespace Tavrin {
namespace Cli {
namespace {

// A file name longer than this is written piece by piece.
constexpr std::size_t kLongestFastPrefix = 1024;


// The GBK bytes of a row in UTF-8, or nothing when they are not valid GBK
// or this C library cannot convert GBK.
std::optional<std::string> GbkToUtf8(std::string_view gbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string utf8(gbk.size() * 4 + 4, '\0');
  char* in = const_cast<char*>(gbk.data());
  std::size_t in_left = gbk.size();
  char* out = &utf8[0];
  std::size_t out_left = utf8.size();
  const std::size_t result = iconv(cd, &in, &in_left, &out, &out_left);
  iconv_close(cd);
  if (result == static_cast<std::size_t>(-1)) return std::nullopt;
  utf8.resize(utf8.size() - out_left);
  return utf8;
}

// The GBK bytes of a row shown as UTF-8 for a reader's terminal (the bytes
// themselves when they have no UTF-8 form).
std::string GbkToUtf8ForDisplay(std::string_view gbk) {
  return GbkToUtf8(gbk).value_or(std::string(gbk));
}

// "C2 E8 B5 C4": the bytes in upper-case hex, separated by spaces.
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

}  // namespace

std::string RowsListing(bool json) {
  std::string listing;
  for (unsigned row = 1; row <= kBannedWordCount; ++row) {
    const std::string_view gbk = RowBytes(row);
    if (json) {
      listing += FormatJsonRow(row, gbk, GbkToUtf8(gbk));
    } else {
      listing += "row " + std::to_string(row) + ": " + HexBytes(gbk) + " \"" +
                 GbkToUtf8ForDisplay(gbk) + '"';
    }
    listing += '\n';
  }
  return listing;
}

void PrintError(std::string_view message) {
  std::fprintf(stderr, "tavrin: %.*s\n", static_cast<int>(message.size()),
               message.data());
}

// ---------------------------------------------------------------- output

void Output::Write(std::string_view bytes) {
  if (failed() || bytes.empty()) return;
  if (kCapacity - used_ < bytes.size() && !Flush()) return;
  if (bytes.size() >= kCapacity) {
    Send(bytes);  // a long line goes out as it is, without a copy
  } else {
    std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
  }
}

bool Output::Flush() {
  if (!failed() && used_ > 0) Send(std::string_view(buffer_.get(), used_));
  used_ = 0;  // after a failure, what is held is lost anyway
  return !failed();
}

void Output::Send(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = n < 0 ? errno : EIO;
      return;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
}

// ---------------------------------------------------------------- report

void LineWalk::Next(std::string_view* line, std::string_view* ending) noexcept {
  const char* newline =
      static_cast<const char*>(std::memchr(at_, '\n', end_ - at_));
  const char* line_end = newline != nullptr ? newline : end_;
  *ending = std::string_view();
  if (newline != nullptr) {
    const bool crlf = line_end > at_ && line_end[-1] == '\r';
    line_end -= crlf;
    *ending = crlf ? "\r\n" : "\n";
  }
  *line = std::string_view(at_, line_end - at_);
  at_ = newline != nullptr ? newline + 1 : end_;
}

bool NeedsLineBytes(const ReportSettings& settings) noexcept {
  return settings.summary == Summary::kNone &&
         settings.command != Command::kCheck;
}

void Report::LineNumber::Reset() noexcept {
  start_ = sizeof digits_ - 1;
  digits_[start_] = '0';
}

void Report::LineNumber::Increment() noexcept {
  for (std::size_t i = sizeof digits_ - 1;; --i) {
    if (digits_[i] != '9') {
      ++digits_[i];
      return;
    }
    digits_[i] = '0';
    if (i == start_) {
      digits_[--start_] = '1';
      return;
    }
  }
}

Report::Report(const ReportSettings& settings, Output& out)
    : settings_(settings), out_(out) {
  line_number_.Reset();
}

void Report::Fail(std::string_view message) {
  out_.Flush();
  PrintError(message);
  status_ = kExitError;
}

void Report::BeginInput(std::string_view name, Encoding encoding, bool utf16) {
  name_.assign(name.data(), name.size());
  prefix_ = name_ + ':';
  encoding_ = utf16 ? Encoding::kUtf8 : encoding;
  utf16_ = utf16;
  lines_ = 0;
  line_number_.Reset();
  banned_ = 0;
  errors_ = 0;
}

void Report::EndInput(bool read_whole) {
  if (errors_ > kErrorsShownPerInput) {
    std::string message = name_ + ": " + std::to_string(errors_) +
                          " lines are not " +
                          (utf16_ ? "UTF-16" : std::string(EncodingName(encoding_))) +
                          " (the first " + std::to_string(kErrorsShownPerInput) +
                          " are shown)";
    if (encoding_ == Encoding::kUtf8 && !utf16_) {
      message += "; for GBK input use -e gbk";
    }
    Fail(message);
  }
  if (settings_.summary == Summary::kCount && read_whole) {
    std::string line = settings_.count_names ? prefix_ : std::string();
    line += std::to_string(banned_);
    line += '\n';
    out_.Write(line);
  } else if (settings_.summary == Summary::kFilesWithBanned && banned_ > 0) {
    out_.Write(name_);
    out_.Write("\n");
  }
  if (banned_ > 0 && status_ == kExitClean) status_ = kExitBanned;
  if (settings_.line_buffered) out_.Flush();
}

int Report::Finish() {
  if (!out_.Flush()) {
    PrintError(std::string("cannot write the output: ") +
               std::strerror(out_.error()));
    status_ = kExitError;
  }
  return status_;
}

bool Report::Lines(const char* data, std::size_t size,
                   const unsigned char* verdicts, std::size_t count) {
  if (settings_.summary != Summary::kNone) {
    return Summarize(data, size, verdicts, count);
  }
  LineWalk walk(data, size);
  std::string_view line, ending;
  if (settings_.command == Command::kCheck && !settings_.json) {
    // The verdict lines alone: the bytes of a line are looked at only when
    // it is not well-formed, for the message.
    std::size_t at_line = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const unsigned char verdict = verdicts[i];
      line_number_.Increment();
      if (verdict == TAVRIN_CLEAN) {
        if (!settings_.banned_only) WriteVerdictLine(verdict);
        continue;
      }
      WriteVerdictLine(verdict);
      if (verdict == TAVRIN_BANNED) {
        ++banned_;
        continue;
      }
      for (; at_line <= i; ++at_line) walk.Next(&line, &ending);
      LineError(lines_ + i + 1, line, std::string_view::npos);
    }
    lines_ += count;
  } else {
    for (std::size_t i = 0; i < count && !out_.failed(); ++i) {
      walk.Next(&line, &ending);
      Line(line, ending, verdicts[i]);
    }
  }
  if (settings_.line_buffered) out_.Flush();
  return !out_.failed();
}

bool Report::Summarize(const char* data, std::size_t size,
                       const unsigned char* verdicts, std::size_t count) {
  if (count == 0) return !out_.failed();
  // -l and -q look no further than the first banned line; -c counts them.
  std::size_t looked_at = count;
  bool invalid = false;
  if (settings_.summary == Summary::kCount) {
    std::size_t banned = 0;
    for (std::size_t i = 0; i < count; ++i) {
      banned += verdicts[i] == TAVRIN_BANNED;
      invalid |= verdicts[i] == TAVRIN_INVALID;
    }
    banned_ += banned;
  } else if (const void* first = std::memchr(verdicts, TAVRIN_BANNED, count)) {
    looked_at = static_cast<const unsigned char*>(first) - verdicts + 1;
    banned_ = 1;
  }
  if (!invalid) {
    invalid = std::memchr(verdicts, TAVRIN_INVALID, looked_at) != nullptr;
  }
  if (invalid) {
    LineWalk walk(data, size);
    std::string_view line, ending;
    for (std::size_t i = 0; i < looked_at; ++i) {
      walk.Next(&line, &ending);
      if (verdicts[i] == TAVRIN_INVALID) {
        LineError(lines_ + i + 1, line, std::string_view::npos);
      }
    }
  }
  lines_ += looked_at;
  if (banned_ > 0 && settings_.summary != Summary::kCount) {
    quiet_done_ = settings_.summary == Summary::kQuiet;
    return false;
  }
  return !out_.failed();
}

bool Report::LongLine(unsigned char verdict, std::size_t error_offset) {
  ++lines_;
  line_number_.Increment();
  banned_ += verdict == TAVRIN_BANNED;
  if (settings_.summary == Summary::kNone) {
    if (settings_.json) {
      JsonLine json;
      json.file = name_;
      json.line = lines_;
      json.verdict = verdict;
      if (!settings_.banned_only || verdict != TAVRIN_CLEAN) {
        out_.Write(FormatJsonLine(json) + '\n');
      }
    } else if (!settings_.banned_only || verdict != TAVRIN_CLEAN) {
      WriteVerdictLine(verdict);
    }
  }
  if (verdict == TAVRIN_INVALID) LineError(lines_, {}, error_offset);
  if (verdict == TAVRIN_BANNED && settings_.summary != Summary::kNone &&
      settings_.summary != Summary::kCount) {
    quiet_done_ = settings_.summary == Summary::kQuiet;
    return false;
  }
  if (settings_.line_buffered) out_.Flush();
  return !out_.failed();
}

void Report::Line(std::string_view line, std::string_view ending,
                  unsigned char verdict) {
  ++lines_;
  line_number_.Increment();
  std::size_t error_offset = 0;
  rows_.clear();
  if (verdict == TAVRIN_INVALID ||
      (verdict == TAVRIN_BANNED && settings_.command == Command::kExplain)) {
    FindRows(encoding_, line, scratch_, rows_, &error_offset);
  }
  banned_ += verdict == TAVRIN_BANNED;
  const bool shown = !settings_.banned_only || verdict != TAVRIN_CLEAN;
  JsonLine json;
  json.file = name_;
  json.line = lines_;
  json.verdict = verdict;
  switch (settings_.command) {
    case Command::kFilter: {
      // A line that is not clean, or that could not be screened, is not
      // written: nothing unscreened gets through.
      const std::string_view written =
          verdict == TAVRIN_CLEAN
              ? line
              : std::string_view(TAVRIN_MARKER);
      if (settings_.json) {
        json.output = written;
      } else {
        out_.Write(written);
        out_.Write(ending);
      }
      break;
    }
    case Command::kExplain:
      json.rows = &rows_;
      if (shown && !settings_.json) {
        WriteVerdictLine(verdict);
        WriteExplanation();
      }
      break;
    case Command::kCheck:
      if (shown && !settings_.json) WriteVerdictLine(verdict);
      break;
  }
  if (shown && settings_.json) out_.Write(FormatJsonLine(json) + '\n');
  if (verdict == TAVRIN_INVALID) LineError(lines_, line, error_offset);
}

void Report::WriteVerdictLine(unsigned char verdict) {
  const std::string_view number = line_number_.digits();
  const std::string_view name = VerdictName(verdict);
  if (prefix_.size() > kLongestFastPrefix) {
    out_.Write(prefix_);
    out_.Write(number);
    out_.Write(": ");
    out_.Write(name);
    out_.Write("\n");
    return;
  }
  char* at = out_.Reserve(prefix_.size() + number.size() + name.size() + 3);
  std::memcpy(at, prefix_.data(), prefix_.size());
  at += prefix_.size();
  std::memcpy(at, number.data(), number.size());
  at += number.size();
  *at++ = ':';
  *at++ = ' ';
  std::memcpy(at, name.data(), name.size());
  at += name.size();
  *at++ = '\n';
  out_.Commit(at);
}

// "NAME:LINE: row 4 at byte 2: 73 65 78 \"sex\"", one line per row found.
void Report::WriteExplanation() {
  for (const tavrin_match& row : rows_) {
    std::string text = prefix_;
    text += line_number_.digits();
    text += ": row ";
    text += std::to_string(row.row);
    text += " at byte ";
    text += std::to_string(row.offset);
    text += ": ";
    text += HexBytes(RowBytes(row.row));
    text += " \"";
    text += RowText(row.row);
    text += "\"\n";
    out_.Write(text);
  }
}

std::string_view Report::RowText(unsigned row) {
  std::string& text = row_text_[row <= kBannedWordCount ? row : 0];
  if (text.empty()) text = GbkToUtf8ForDisplay(RowBytes(row));
  return text;
}

void Report::LineError(std::size_t line_number, std::string_view line,
                       std::size_t error_offset) {
  if (++errors_ > kErrorsShownPerInput) {
    status_ = kExitError;  // counted, and reported at the end of the input
    return;
  }
  std::string message = name_ + ':' + std::to_string(line_number);
  if (utf16_) {
    message += ": invalid UTF-16";
  } else {
    if (error_offset == std::string_view::npos) {
      FindRows(encoding_, line, scratch_, rows_, &error_offset);
    }
    message += ": invalid ";
    message += EncodingName(encoding_);
    message += " at byte " + std::to_string(error_offset);
  }
  if (settings_.command == Command::kFilter &&
      settings_.summary == Summary::kNone) {
    message += " (written as " TAVRIN_MARKER ")";
  }
  if (settings_.locale_says_utf8 && encoding_ == Encoding::kUtf8 && !utf16_ &&
      !hinted_) {
    message += "; the locale says UTF-8: for GBK input use -e gbk";
    hinted_ = true;
  }
  Fail(message);
}

}  // namespace Cli
}  // namespace Tavrin
