// The tool's input: a file or standard input read in large chunks cut at
// newlines, what the first block of an input says it holds, and the files
// under a directory for -r.
#ifndef TAVRIN_TOOLS_INPUT_H_
#define TAVRIN_TOOLS_INPUT_H_

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace Tavrin {
namespace Cli {

// What the first block of an input holds.
enum class InputForm {
  kBytes,             // text in the encoding chosen (-e or the locale)
  kUtf16WithMark,     // UTF-16 after a byte-order mark, LE or BE: read as
                      // UTF-8 (see ChunkReader)
  kUtf16WithoutMark,  // a zero byte in every other place, at least half the
                      // time: UTF-16 that cannot be read as it is
};

// The form of an input from its first bytes. Zero bytes here and there are
// ordinary bytes; only the pattern of UTF-16 text counts.
InputForm SniffInput(std::string_view first_block) noexcept;

// Bytes of memory that grow without being zeroed: a chunk is read over them.
class ChunkBuffer {
 public:
  char* data() noexcept { return bytes_.get(); }
  const char* data() const noexcept { return bytes_.get(); }
  std::size_t size() const noexcept { return size_; }
  std::size_t capacity() const noexcept { return capacity_; }
  void resize(std::size_t size) noexcept { size_ = size; }  // <= capacity
  // Makes room for `capacity` bytes, keeping those held.
  void Reserve(std::size_t capacity);

 private:
  std::unique_ptr<char[]> bytes_;
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
// An input that begins with a UTF-16 byte-order mark (FF FE or FE FF) is
// converted to UTF-8 as it is read, the mark left out, so that its chunks
// are UTF-8 (a code unit that is not UTF-16, a lone surrogate, becomes the
// byte FF, which no UTF-8 holds).
class ChunkReader {
 public:
  ChunkReader(int fd, std::size_t chunk_size, bool hold_lines) noexcept
      : fd_(fd), chunk_size_(chunk_size), hold_lines_(hold_lines) {}
  ~ChunkReader();
  ChunkReader(const ChunkReader&) = delete;
  ChunkReader& operator=(const ChunkReader&) = delete;

  // Reads the first block of the input and tells what it holds. Call it
  // once, before Next; a UTF-16 input with a mark is read as UTF-8 from
  // then on.
  InputForm Sniff();

  // Reads the next chunk into `buffer`, which `chunk` then points into.
  // Returns false at the end of the input, or on a read error (error() is
  // then the errno value; a line cut short by the error is not returned).
  bool Next(ChunkBuffer& buffer, Chunk* chunk);

  // The last `count` bytes of the piece just returned were not screened
  // (a character cut in two): they come again, first, in the next chunk.
  void GiveBack(std::size_t count);

  int error() const noexcept { return error_; }

 private:
  // One read(2) into the free room of `buffer`, through the UTF-16
  // conversion once there is one.
  void Fill(ChunkBuffer& buffer);
  std::size_t ReadSome(char* into, std::size_t room);
  std::size_t Decode(char* into, std::size_t room);

  int fd_;
  std::size_t chunk_size_;
  bool hold_lines_;
  std::string carry_;  // bytes that begin the next chunk
  const char* last_end_ = nullptr;  // the end of the chunk last returned
  bool continues_line_ = false;
  bool eof_ = false;
  int error_ = 0;
  void* utf16_ = nullptr;  // the iconv converter, once there is one
  std::string raw_;        // UTF-16 bytes read and not yet converted
};

// Calls visit(name) for every regular file under the directory `path`, in
// a stable order: the entries of each directory sorted by name (byte by
// byte), a subdirectory's files where its name sorts. Names are `prefix`
// followed by the path below `path`. Symbolic links, devices, FIFOs and
// sockets inside are passed over (a link is followed only when named, as
// `path` may be one). A directory or entry that cannot be read is given to
// fail(name, errno) and the walk goes on. The walk stops when visit returns
// false.
bool WalkDirectory(const std::string& path, const std::string& prefix,
                   const std::function<bool(const std::string&)>& visit,
                   const std::function<void(const std::string&, int)>& fail);

}  // namespace Cli
}  // namespace Tavrin

#endif  // TAVRIN_TOOLS_INPUT_H_
