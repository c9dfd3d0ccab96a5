#include "Input.h"

#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

namespace Tavrin {
namespace Cli {
namespace {

// The bytes of an input whose zero bytes tell whether it is UTF-16.
constexpr std::size_t kSniffedBytes = 4096;
// A UTF-8 character takes up to 4 bytes: a buffer with less room than this
// is full, for the conversion from UTF-16 as for a read.
constexpr std::size_t kLeastRoom = 4;

}  // namespace

InputForm SniffInput(std::string_view block) noexcept {
  if (block.size() >= 2 && ((block[0] == '\xFF' && block[1] == '\xFE') ||
                            (block[0] == '\xFE' && block[1] == '\xFF'))) {
    return InputForm::kUtf16WithMark;
  }
  // UTF-16 text with much ASCII or Latin in it has a zero byte in every
  // other place; a text line with a zero byte here and there does not.
  const std::size_t pairs = std::min(block.size(), kSniffedBytes) / 2;
  std::size_t low_zero = 0, high_zero = 0;
  for (std::size_t i = 0; i < pairs; ++i) {
    const bool first = block[2 * i] == '\0', second = block[2 * i + 1] == '\0';
    high_zero += second && !first;
    low_zero += first && !second;
  }
  return pairs >= 2 && 2 * std::max(low_zero, high_zero) >= pairs
             ? InputForm::kUtf16WithoutMark
             : InputForm::kBytes;
}

void ChunkBuffer::Reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  std::unique_ptr<char[]> bigger(new char[capacity]);
  if (size_ > 0) std::memcpy(bigger.get(), bytes_.get(), size_);
  bytes_ = std::move(bigger);
  capacity_ = capacity;
}

ChunkReader::~ChunkReader() {
  if (utf16_ != nullptr) iconv_close(static_cast<iconv_t>(utf16_));
}

bool ChunkReader::Next(ChunkBuffer& buffer, Chunk* chunk) {
  buffer.resize(0);
  buffer.Reserve(std::max(chunk_size_, carry_.size() + kLeastRoom));
  std::memcpy(buffer.data(), carry_.data(), carry_.size());
  buffer.resize(carry_.size());
  carry_.clear();
  const bool continues = continues_line_;
  std::size_t searched = 0;  // bytes known to hold no newline
  for (;;) {
    const char* data = buffer.data();
    const void* newline =
        memrchr(data + searched, '\n', buffer.size() - searched);
    if (newline != nullptr) {
      const std::size_t end = static_cast<const char*>(newline) - data + 1;
      carry_.assign(data + end, buffer.size() - end);
      buffer.resize(end);
      *chunk = {data, end, continues, false};
      continues_line_ = false;
      break;
    }
    searched = buffer.size();
    if (error_ != 0) return false;  // a line cut short by an error is dropped
    if (eof_) {
      // The last line has no newline; a line given in pieces ends here even
      // when no byte of it is left.
      if (buffer.size() == 0 && !continues) return false;
      *chunk = {data, buffer.size(), continues, false};
      continues_line_ = false;
      break;
    }
    if (buffer.size() + kLeastRoom > buffer.capacity()) {
      if (!hold_lines_) {
        *chunk = {data, buffer.size(), continues, true};
        continues_line_ = true;
        break;
      }
      buffer.Reserve(2 * buffer.capacity());
    }
    Fill(buffer);
  }
  last_end_ = chunk->data + chunk->size;
  return true;
}

void ChunkReader::GiveBack(std::size_t count) {
  carry_.insert(0, last_end_ - count, count);
}

std::size_t ChunkReader::ReadSome(char* into, std::size_t room) {
  for (;;) {
    const ssize_t n = ::read(fd_, into, room);
    if (n > 0) return static_cast<std::size_t>(n);
    if (n == 0) {
      eof_ = true;
    } else if (errno == EINTR) {
      continue;
    } else {
      error_ = errno;
    }
    return 0;
  }
}

void ChunkReader::Fill(ChunkBuffer& buffer) {
  char* into = buffer.data() + buffer.size();
  const std::size_t room = buffer.capacity() - buffer.size();
  buffer.resize(buffer.size() +
                (utf16_ != nullptr ? Decode(into, room) : ReadSome(into, room)));
}

InputForm ChunkReader::Sniff() {
  carry_.resize(kSniffedBytes);
  carry_.resize(ReadSome(&carry_[0], carry_.size()));
  const InputForm form = SniffInput(carry_);
  if (form == InputForm::kUtf16WithMark) {
    const bool big_endian = carry_[0] == '\xFE';
    const iconv_t cd =
        iconv_open("UTF-8", big_endian ? "UTF-16BE" : "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      error_ = errno;
    } else {
      utf16_ = cd;
      raw_.assign(carry_, 2, std::string::npos);  // the mark left out
      carry_.clear();
    }
  }
  return form;
}

// Converts what is held, reading more UTF-16 when that is not enough for a
// character, until something is written or the input ends. `room` is at
// least kLeastRoom, enough for any character.
std::size_t ChunkReader::Decode(char* into, std::size_t room) {
  const iconv_t cd = static_cast<iconv_t>(utf16_);
  char* out = into;
  std::size_t out_left = room;
  bool cut_off = raw_.empty();  // what is held is no whole character
  while (out == into && error_ == 0 && !(eof_ && raw_.empty())) {
    if (cut_off && !eof_) {
      // Two bytes of UTF-16 become at most three of UTF-8.
      const std::size_t want = std::max<std::size_t>(room / 3 * 2, 2);
      const std::size_t held = raw_.size();
      raw_.resize(held + want);
      raw_.resize(held + ReadSome(&raw_[held], want));
    }
    char* in = &raw_[0];
    std::size_t in_left = raw_.size();
    cut_off = false;
    while (in_left > 0 &&
           iconv(cd, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1)) {
      if (errno == E2BIG || out_left == 0) break;
      if (errno == EINVAL && !eof_) {  // a character cut off by the read
        cut_off = true;
        break;
      }
      // Not UTF-16, or cut off by the end of the input: a byte that no
      // UTF-8 holds, so that the line is reported, never passed as clean.
      *out++ = '\xFF';
      --out_left;
      const std::size_t skip = std::min<std::size_t>(in_left, 2);
      in += skip;
      in_left -= skip;
    }
    raw_.erase(0, raw_.size() - in_left);
    cut_off = cut_off || raw_.empty();
  }
  return static_cast<std::size_t>(out - into);
}

bool WalkDirectory(const std::string& path, const std::string& prefix,
                   const std::function<bool(const std::string&)>& visit,
                   const std::function<void(const std::string&, int)>& fail) {
  DIR* dir = opendir(path.c_str());
  if (dir == nullptr) {
    fail(prefix.empty() ? path : prefix.substr(0, prefix.size() - 1), errno);
    return true;
  }
  std::vector<std::string> names;
  errno = 0;
  while (const dirent* entry = readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  const int read_error = errno;
  closedir(dir);
  if (read_error != 0) {
    fail(prefix.empty() ? path : prefix.substr(0, prefix.size() - 1),
         read_error);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string shown = prefix + name;
    struct stat st;
    if (lstat(shown.c_str(), &st) != 0) {
      fail(shown, errno);
    } else if (S_ISDIR(st.st_mode)) {
      if (!WalkDirectory(shown, shown + "/", visit, fail)) return false;
    } else if (S_ISREG(st.st_mode)) {
      if (!visit(shown)) return false;
    }
  }
  return true;
}

}  // namespace Cli
}  // namespace Tavrin
