#include "Screening.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace Tavrin {
namespace Cli {
namespace {

constexpr std::size_t kOverlap = kLongestBannedWord - 1;
// The longest UTF-8 or GB18030 character: fewer bytes than this at the end
// of a piece may be a character cut in two.
constexpr std::size_t kLongestCharacter = 4;
// GBK bytes a long line is converted into at a time.
constexpr std::size_t kConversionStep = 64 * 1024;

InputEncoding ToInputEncoding(Encoding encoding) noexcept {
  return encoding == Encoding::kGb18030 ? InputEncoding::kGb18030
                                        : InputEncoding::kUtf8;
}

// Option values compare with the library's case fold.
bool NamesMatch(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), EqualIgnoringAsciiCase);
}

}  // namespace

bool ParseEncoding(std::string_view name, Encoding* encoding) noexcept {
  if (NamesMatch(name, "gbk") || NamesMatch(name, "cp936")) {
    *encoding = Encoding::kGbk;
  } else if (NamesMatch(name, "utf-8") || NamesMatch(name, "utf8")) {
    *encoding = Encoding::kUtf8;
  } else if (NamesMatch(name, "gb18030")) {
    *encoding = Encoding::kGb18030;
  } else {
    return false;
  }
  return true;
}

std::string_view EncodingName(Encoding encoding) noexcept {
  switch (encoding) {
    case Encoding::kUtf8:
      return "UTF-8";
    case Encoding::kGb18030:
      return "GB18030";
    case Encoding::kGbk:
      break;
  }
  return "GBK";
}

bool CanScreen(Encoding encoding) noexcept {
  return encoding == Encoding::kGbk ||
         PrepareToGbk(ToInputEncoding(encoding));
}

// ---------------------------------------------------------------- chunks

std::size_t ChunkScreener::Screen(Encoding encoding, const char* data,
                                  std::size_t size,
                                  ChunkBuffer& verdicts) {
  verdicts.Reserve(size);
  auto* out = reinterpret_cast<unsigned char*>(verdicts.data());
  // With room for a verdict per byte, one call screens every line.
  switch (encoding) {
    case Encoding::kGbk:
      return tavrin_screen_lines(data, size, out, size, nullptr);
    case Encoding::kUtf8:
      return tavrin_screen_lines_utf8(data, size, out, size, nullptr);
    case Encoding::kGb18030:
      break;
  }
  // As the library screens UTF-8, which hosts reach through the C interface.
  return ScreenConvertedLines(InputEncoding::kGb18030, data, size, out, size, nullptr);
}

// ---------------------------------------------------------------- long lines

void LongLineScreener::Reset() noexcept {
  verdict_ = TAVRIN_CLEAN;
  taken_ = 0;
  error_offset_ = 0;
  tail_size_ = 0;
}

void LongLineScreener::ScreenGbk(const char* gbk, std::size_t size) {
  // A row that spans the cut lies within the bytes kept from before and the
  // first kOverlap bytes of this piece.
  char junction[2 * kOverlap];
  const std::size_t head = std::min(size, kOverlap);
  std::memcpy(junction, tail_, tail_size_);
  std::memcpy(junction + tail_size_, gbk, head);
  if (tavrin_is_valid(junction, tail_size_ + head) != 1 ||
      tavrin_is_valid(gbk, size) != 1) {
    verdict_ = TAVRIN_BANNED;
  }
  if (size >= kOverlap) {
    std::memcpy(tail_, gbk + size - kOverlap, kOverlap);
    tail_size_ = kOverlap;
  } else {
    const std::size_t keep = std::min(tail_size_ + size, kOverlap);
    std::memcpy(tail_, junction + tail_size_ + size - keep, keep);
    tail_size_ = keep;
  }
}

std::size_t LongLineScreener::Add(const char* data, std::size_t size,
                                  bool ends_line) {
  if (encoding_ == Encoding::kGbk || verdict_ == TAVRIN_INVALID) {
    if (verdict_ == TAVRIN_CLEAN) ScreenGbk(data, size);
    taken_ += size;
    return size;
  }
  // Converted in steps; a banned line is still converted to the end, since
  // an ill-formed byte anywhere makes it TAVRIN_INVALID.
  if (scratch_.size() < kConversionStep) scratch_.resize(kConversionStep);
  std::size_t read = 0;
  while (read < size) {
    const ToGbkStep step =
        TranscodeToGbk(ToInputEncoding(encoding_), data + read, size - read,
                       &scratch_[0], scratch_.size());
    if (verdict_ == TAVRIN_CLEAN) ScreenGbk(scratch_.data(), step.written);
    read += step.read;
    if (step.ill_formed) {
      if (!ends_line && size - read < kLongestCharacter) break;
      verdict_ = TAVRIN_INVALID;
      error_offset_ = taken_ + read;
      read = size;
    }
  }
  taken_ += read;
  return read;
}

bool NextLines(ChunkReader& reader, ChunkBuffer& buffer,
               LongLineScreener& long_line, ChunkLines* lines) {
  Chunk chunk;
  for (;;) {
    if (!reader.Next(buffer, &chunk)) return false;
    *lines = ChunkLines();
    lines->lines = chunk.data;
    lines->size = chunk.size;
    if (!chunk.continues_line && !chunk.ends_inside_line) return true;
    const void* newline = chunk.ends_inside_line
                              ? nullptr
                              : std::memchr(chunk.data, '\n', chunk.size);
    const std::size_t piece =
        newline != nullptr ? static_cast<const char*>(newline) - chunk.data
                           : chunk.size;
    const std::size_t taken =
        long_line.Add(chunk.data, piece, !chunk.ends_inside_line);
    if (chunk.ends_inside_line) {
      reader.GiveBack(piece - taken);
      // What other threads have screened is answered between the pieces,
      // so that -q and -l stop at a banned line before a long one.
      if (!reader.Pause()) return false;
      continue;
    }
    lines->has_long_line = true;
    lines->long_line_verdict = long_line.verdict();
    lines->long_line_error_offset = long_line.error_offset();
    long_line.Reset();
    const std::size_t head = newline != nullptr ? piece + 1 : piece;
    lines->lines += head;
    lines->size -= head;
    return true;
  }
}

// ---------------------------------------------------------------- rows

// A line that is not GBK is converted and searched a step at a time, each
// step's GBK bytes after the last kOverlap bytes of the step before (where
// a row across the cut lies), so that a line of gigabytes needs no GBK copy
// of itself beside it. A row is at its first offset over all the steps.
unsigned char FindRows(Encoding encoding, std::string_view line,
                       std::string& scratch, std::vector<tavrin_match>& rows,
                       std::size_t* error_offset) {
  rows.clear();
  std::size_t first[kBannedWordCount];
  std::fill(std::begin(first), std::end(first), std::string_view::npos);
  tavrin_match found[kBannedWordCount];
  // Finds the rows of gbk[0 .. size), which begins at `offset` of the
  // line's GBK form. A string_view's bytes never pair a null pointer with a
  // length, so tavrin_find cannot fail here.
  const auto search = [&](const char* gbk, std::size_t size, std::size_t offset) {
    const std::size_t count = tavrin_find(gbk, size, found, kBannedWordCount);
    for (std::size_t i = 0; i < count && count != TAVRIN_FIND_FAILED; ++i) {
      std::size_t& at = first[found[i].row - 1];
      at = std::min(at, offset + found[i].offset);
    }
    return count != TAVRIN_FIND_FAILED;
  };
  bool searched = true;
  if (encoding == Encoding::kGbk) {
    searched = search(line.data(), line.size(), 0);
  } else {
    if (scratch.size() < kOverlap + kConversionStep) scratch.resize(kOverlap + kConversionStep);
    std::size_t held = 0, offset = 0;  // scratch[0 .. held) is at `offset`
    for (std::size_t read = 0; read < line.size();) {
      const ToGbkStep step =
          TranscodeToGbk(ToInputEncoding(encoding), line.data() + read, line.size() - read,
                         &scratch[held], kConversionStep);
      if (step.ill_formed) {
        *error_offset = read + step.read;
        return TAVRIN_INVALID;
      }
      read += step.read;
      const std::size_t size = held + step.written;
      searched = search(scratch.data(), size, offset) && searched;
      held = std::min(size, kOverlap);
      std::memmove(&scratch[0], &scratch[size - held], held);
      offset += size - held;
    }
  }
  if (!searched) return TAVRIN_BANNED;  // fail closed all the same
  for (std::size_t r = 0; r < kBannedWordCount; ++r) {
    if (first[r] != std::string_view::npos) {
      rows.push_back({static_cast<unsigned>(r + 1), first[r]});
    }
  }
  return rows.empty() ? TAVRIN_CLEAN : TAVRIN_BANNED;
}

std::string_view VerdictName(unsigned char verdict) noexcept {
  switch (verdict) {
    case TAVRIN_CLEAN:
      return "clean";
    case TAVRIN_BANNED:
      return "banned";
  }
  return "error";
}

std::string_view RowBytes(std::size_t row) noexcept {
  std::size_t length = 0;
  const char* bytes = row <= kBannedWordCount
                          ? tavrin_row(static_cast<unsigned>(row), &length)
                          : nullptr;
  return bytes != nullptr ? std::string_view(bytes, length)
                          : std::string_view();
}

}  // namespace Cli
}  // namespace Tavrin
