// The tool's input: a file or standard input read in large chunks cut at
// newlines, read as the library says its first block should be, and the
// files under a directory for -r.
#ifndef TAVRIN_TOOLS_INPUT_H_
#define TAVRIN_TOOLS_INPUT_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace Tavrin {
namespace Cli {

// Bytes of memory that grow without being zeroed: a chunk is read over them.
// They grow with realloc, which moves a large block by remapping its pages
// rather than by copying it, so that a line of gigabytes held whole needs
// the line's memory once, not twice while it grows.
class ChunkBuffer {
 public:
  char* data() noexcept { return bytes_.get(); }
  const char* data() const noexcept { return bytes_.get(); }
  std::size_t size() const noexcept { return size_; }
  std::size_t capacity() const noexcept { return capacity_; }
  void resize(std::size_t size) noexcept { size_ = size; }  // <= capacity
  // Makes room for `capacity` bytes, keeping those held. Throws
  // std::bad_alloc when it cannot.
  void Reserve(std::size_t capacity);

 private:
  struct Free {
    void operator()(char* bytes) const noexcept;
  };
  std::unique_ptr<char, Free> bytes_;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// One chunk of an input.
struct Chunk {
  const char* data = nullptr;
  std::size_t size = 0;
  // It begins inside a line whose first bytes came in earlier chunks, as
  // pieces: its bytes up to the first newline end that line.
  bool continues_line = false;
  // It is a piece of a line longer than a chunk: it holds no newline, and
  // the line goes on in the next chunk.
  bool ends_inside_line = false;
};

// Reads a file descriptor in chunks of whole lines. Memory stays bounded by
// the chunk size: a line longer than a chunk comes in pieces, unless lines
// are held, when the chunk grows to hold the whole line.
//
// Each read(2) takes what is there, and a chunk ends with the last newline
// of what has been read, so a line written to a pipe or typed at a terminal
// is screened at once, without waiting for a full chunk.
//
// An input that the library says to read as UTF-16 (tavrin_input_form) is
// converted to UTF-8 as it is read, the mark left out, so that its chunks
// are UTF-8 (a code unit that is not UTF-16, a lone surrogate, becomes the
// byte FF, which no UTF-8 holds). Every later window of it is checked with
// tavrin_utf16_is_text as it is read.
class ChunkReader {
 public:
  ChunkReader(int fd, std::size_t chunk_size, bool hold_lines) noexcept
      : fd_(fd), chunk_size_(chunk_size), hold_lines_(hold_lines) {}
  ~ChunkReader();
  ChunkReader(const ChunkReader&) = delete;
  ChunkReader& operator=(const ChunkReader&) = delete;

  // Reads the first block of the input (TAVRIN_INPUT_SAMPLE bytes, or what
  // a pipe holds) and returns its form, one of TAVRIN_INPUT_* of
  // tavrin_c.h; `encoding_named` says that the user named the encoding.
  // Call it once, before Next; a UTF-16 input is read as UTF-8 from then
  // on. The first bytes are `head()` until Next is called.
  int Sniff(bool encoding_named);
  std::string_view head() const noexcept { return carry_; }

  // Called before a read(2) of a pipe, a terminal or a socket that would
  // wait for more input, and between the pieces of a line longer than a
  // chunk: the reading thread answers there what other threads have
  // screened, so that no answer waits for input (-q stops at a banned line
  // however slow the pipe or long the next line). `wait` says that the read
  // would block: then everything in flight is answered. The call returns
  // false when no more of the input is wanted; Next then returns false.
  void set_on_wait(std::function<bool(bool wait)> on_wait) {
    on_wait_ = std::move(on_wait);
  }
  // Asks on_wait between the pieces of a long line: false when no more of
  // the input is wanted.
  bool Pause();

  // Reads the next chunk into `buffer`, which `chunk` then points into.
  // Returns false at the end of the input, on a read error (error() is
  // then the errno value; a line cut short by the error is not returned),
  // or when no more is wanted.
  bool Next(ChunkBuffer& buffer, Chunk* chunk);

  // The last `count` bytes of the piece just returned were not screened
  // (a character cut in two): they come again, first, in the next chunk.
  void GiveBack(std::size_t count);

  int error() const noexcept { return error_; }
  // For an input read as UTF-16, the offset of the first window of
  // TAVRIN_INPUT_SAMPLE bytes that is not UTF-16 text (read and screened
  // as UTF-16 all the same); npos while there is none.
  std::size_t not_utf16_from() const noexcept { return not_utf16_from_; }

 private:
  // One read(2) into the free room of `buffer`, through the UTF-16
  // conversion once there is one.
  void Fill(ChunkBuffer& buffer);
  std::size_t ReadSome(char* into, std::size_t room);
  std::size_t Decode(char* into, std::size_t room);
  // Checks the windows of UTF-16 that bytes[0 .. size), read next, fill.
  void CheckWindows(const char* bytes, std::size_t size);

  int fd_;
  std::size_t chunk_size_;
  bool hold_lines_;
  bool may_wait_ = false;  // not a regular file: a read may block
  std::string carry_;  // bytes that begin the next chunk
  const char* last_end_ = nullptr;  // the end of the chunk last returned
  bool continues_line_ = false;
  bool eof_ = false;
  bool unwanted_ = false;  // on_wait said no more is wanted
  int error_ = 0;
  std::function<bool(bool)> on_wait_;
  void* utf16_ = nullptr;  // the iconv converter, once there is one
  bool big_endian_ = false;
  std::string raw_;        // UTF-16 bytes read and not yet converted
  std::size_t read_ = 0;   // bytes of the input read so far
  std::string window_;     // the window being read, once it is past the first
  std::size_t not_utf16_from_ = std::string::npos;
};

// Calls visit(name, at, entry) for every regular file under the directory
// `path`, in a stable order: the entries of each directory sorted by name
// (byte by byte), a subdirectory's files where its name sorts. Names are
// `prefix` followed by the path below `path`; `at` is an open descriptor of
// the file's directory and `entry` its name there, for openat(2). The walk
// goes down by descriptors, never by its long names, so a name past
// PATH_MAX is no obstacle. Symbolic links, devices, FIFOs and sockets
// inside are passed over (a link is followed only when named, as `path`
// may be one). A directory or entry that cannot be read is given to
// fail(name, errno) and the walk goes on. The walk stops when visit returns
// false.
bool WalkDirectory(
    const std::string& path, const std::string& prefix,
    const std::function<bool(const std::string&, int, const char*)>& visit,
    const std::function<void(const std::string&, int)>& fail);

}  // namespace Cli
}  // namespace Tavrin

#endif  // TAVRIN_TOOLS_INPUT_H_
