#include "Input.h"

#include <dirent.h>
#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "tavrin_c.h"

namespace Tavrin {
namespace Cli {
namespace {

// A UTF-8 character takes up to 4 bytes: a buffer with less room than this
// is full, for the conversion from UTF-16 as for a read.
constexpr std::size_t kLeastRoom = 4;
constexpr std::size_t kWindow = TAVRIN_INPUT_SAMPLE;

}  // namespace

void ChunkBuffer::Free::operator()(char* bytes) const noexcept { std::free(bytes); }

void ChunkBuffer::Reserve(std::size_t capacity) {
  if (capacity <= capacity_) return;
  if (size_ == 0) {  // nothing to keep: the old block goes first
    bytes_.reset();
    capacity_ = 0;
    bytes_.reset(static_cast<char*>(std::malloc(capacity)));
  } else if (char* moved = static_cast<char*>(std::realloc(bytes_.get(), capacity))) {
    static_cast<void>(bytes_.release());  // realloc has let it go
    bytes_.reset(moved);
  } else {
    throw std::bad_alloc();
  }
  if (bytes_ == nullptr) throw std::bad_alloc();
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
    // A line cut short by an error, or by the end of what is wanted, is
    // dropped.
    if (error_ != 0 || unwanted_) return false;
    if (eof_ && raw_.empty()) {
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

bool ChunkReader::Pause() {
  if (on_wait_ && !unwanted_ && !on_wait_(false)) unwanted_ = true;
  return !unwanted_;
}

std::size_t ChunkReader::ReadSome(char* into, std::size_t room) {
  if (may_wait_ && on_wait_ && !unwanted_) {
    pollfd input{fd_, POLLIN, 0};
    if (::poll(&input, 1, 0) == 0 && !on_wait_(true)) unwanted_ = true;
  }
  if (unwanted_) return 0;
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

int ChunkReader::Sniff(bool encoding_named) {
  struct stat st;
  may_wait_ = ::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode);
  // A regular file gives its first block whole; a pipe is not waited for:
  // the decision is made on what one read brings, so that a line written
  // to a pipe is answered at once.
  carry_.resize(kWindow);
  std::size_t got = 0;
  do {
    got += ReadSome(&carry_[got], carry_.size() - got);
  } while (!may_wait_ && got < carry_.size() && !eof_ && error_ == 0);
  carry_.resize(got);
  read_ = got;
  const unsigned flags = (encoding_named ? TAVRIN_INPUT_ENCODING_NAMED : 0u) |
                         (eof_ ? TAVRIN_INPUT_WHOLE : 0u);
  const int form = tavrin_input_form(carry_.data(), carry_.size(), flags);
  if (form == TAVRIN_INPUT_UTF16LE || form == TAVRIN_INPUT_UTF16BE) {
    big_endian_ = form == TAVRIN_INPUT_UTF16BE;
    const iconv_t cd = iconv_open("UTF-8", big_endian_ ? "UTF-16BE" : "UTF-16LE");
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

// The first window is the block the decision was made on; every later one
// is checked whole, where it lies in the read or gathered across reads. A
// last window the input does not fill is not checked: the end of a line of
// Chinese may well have no ASCII in it.
void ChunkReader::CheckWindows(const char* bytes, std::size_t size) {
  while (size > 0) {
    const std::size_t in_window = read_ % kWindow;
    const std::size_t take = std::min(size, kWindow - in_window);
    const char* window = nullptr;
    if (read_ < kWindow) {
      // the rest of the first window
    } else if (in_window == 0 && take == kWindow) {
      window = bytes;
    } else {
      window_.append(bytes, take);
      if (window_.size() == kWindow) window = window_.data();
    }
    if (window != nullptr) {
      if (not_utf16_from_ == std::string::npos &&
          tavrin_utf16_is_text(window, kWindow, big_endian_) == 0) {
        not_utf16_from_ = read_ - in_window;
      }
      window_.clear();
    }
    read_ += take;
    bytes += take;
    size -= take;
  }
}

// Converts what is held, reading more UTF-16 when that is not enough for a
// character, until something is written or the input ends. `room` is at
// least kLeastRoom, enough for any character.
std::size_t ChunkReader::Decode(char* into, std::size_t room) {
  const iconv_t cd = static_cast<iconv_t>(utf16_);
  char* out = into;
  std::size_t out_left = room;
  bool cut_off = raw_.empty();  // what is held is no whole character
  while (out == into && error_ == 0 && !unwanted_ && !(eof_ && raw_.empty())) {
    if (cut_off && !eof_) {
      // Two bytes of UTF-16 become at most three of UTF-8.
      const std::size_t want = std::max<std::size_t>(room / 3 * 2, 2);
      const std::size_t held = raw_.size();
      raw_.resize(held + want);
      raw_.resize(held + ReadSome(&raw_[held], want));
      CheckWindows(&raw_[held], raw_.size() - held);
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

namespace {

// Walks the directory open at `fd`, which it closes, named `shown` in
// messages; its entries are named `prefix` and their names. See
// WalkDirectory.
bool WalkOpenDirectory(
    int fd, const std::string& shown, const std::string& prefix,
    const std::function<bool(const std::string&, int, const char*)>& visit,
    const std::function<void(const std::string&, int)>& fail) {
  std::vector<std::string> names;
  // readdir needs a descriptor of its own: closedir closes it, and `fd`
  // opens the entries afterwards.
  const int listed = ::dup(fd);
  DIR* dir = listed >= 0 ? ::fdopendir(listed) : nullptr;
  if (dir == nullptr) {
    fail(shown, errno);
    if (listed >= 0) ::close(listed);
    ::close(fd);
    return true;
  }
  errno = 0;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  const int read_error = errno;
  ::closedir(dir);
  if (read_error != 0) fail(shown, read_error);
  std::sort(names.begin(), names.end());
  bool go_on = true;
  for (const std::string& name : names) {
    const std::string entry = prefix + name;
    struct stat st;
    if (::fstatat(fd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      fail(entry, errno);
    } else if (S_ISDIR(st.st_mode)) {
      const int sub = ::openat(fd, name.c_str(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (sub < 0) {
        fail(entry, errno);
      } else {
        go_on = WalkOpenDirectory(sub, entry, entry + "/", visit, fail);
      }
    } else if (S_ISREG(st.st_mode)) {
      go_on = visit(entry, fd, name.c_str());
    }
    if (!go_on) break;
  }
  ::close(fd);
  return go_on;
}

}  // namespace

bool WalkDirectory(
    const std::string& path, const std::string& prefix,
    const std::function<bool(const std::string&, int, const char*)>& visit,
    const std::function<void(const std::string&, int)>& fail) {
  const std::string shown =
      prefix.empty() ? path : prefix.substr(0, prefix.size() - 1);
  const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    fail(shown, errno);
    return true;
  }
  return WalkOpenDirectory(fd, shown, prefix, visit, fail);
}

}  // namespace Cli
}  // namespace Tavrin
