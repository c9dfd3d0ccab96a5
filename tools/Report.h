// What the tool writes: the answer for each line of each input, in input
// order (check, filter, explain, --json, --banned-only), or one summary per
// input (-c, -l, -q); the errors on standard error; and the exit status.
#ifndef TAVRIN_TOOLS_REPORT_H_
#define TAVRIN_TOOLS_REPORT_H_

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Screening.h"

namespace Tavrin {
namespace Cli {

constexpr int kExitClean = 0;
constexpr int kExitBanned = 1;
constexpr int kExitError = 2;

// Lines of one input that are not well-formed in its encoding, reported
// each on its own line before the rest are only counted: a GBK log read as
// UTF-8 gets a few examples and one line with the count.
constexpr std::size_t kErrorsShownPerInput = 10;

// What the rows command writes: each row of the built-in list, in table
// order, one line each: "row R: HEX \"TEXT\"" (HEX its GBK bytes, TEXT
// those bytes in UTF-8, as explain shows a row), or with `json` the object
// FormatJsonRow makes.
std::string RowsListing(bool json);

// "tavrin: MESSAGE" on standard error.
void PrintError(std::string_view message);

// Standard output, written with write(2) so that a failed write is seen as
// it happens: the first failure is kept, and nothing more is written.
class Output {
 public:
  Output() : buffer_(new char[kCapacity]) {}
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Write(std::string_view bytes);
  // Room for `size` bytes (at most kRoomLimit) to be written at the pointer
  // returned, then Commit(the end of what was written).
  char* Reserve(std::size_t size) {
    if (kCapacity - used_ < size) Flush();
    return buffer_.get() + used_;
  }
  void Commit(const char* end) { used_ = end - buffer_.get(); }

  // Writes out what is held. False once a write has failed.
  bool Flush();
  bool failed() const { return error_ != 0; }
  int error() const { return error_; }

  static constexpr std::size_t kRoomLimit = 4096;

 private:
  static constexpr std::size_t kCapacity = 64 * 1024;
  void Send(std::string_view bytes);

  std::unique_ptr<char[]> buffer_;
  std::size_t used_ = 0;
  int error_ = 0;
};

// Walks the lines of a chunk: each line's bytes without its ending, and the
// ending: "\r\n", "\n", or "" for a last line without a newline. A
// carriage return is part of the ending only directly before the newline.
class LineWalk {
 public:
  LineWalk(const char* data, std::size_t size) noexcept
      : at_(data), end_(data + size) {}
  // The next line; after the last, an empty line with no ending.
  void Next(std::string_view* line, std::string_view* ending) noexcept;

 private:
  const char* at_;
  const char* end_;
};

enum class Command { kCheck, kFilter, kExplain };
// -c, -l and -q: one answer per input, or none, instead of the command's.
enum class Summary { kNone, kCount, kFilesWithBanned, kQuiet };

struct ReportSettings {
  Command command = Command::kCheck;
  Summary summary = Summary::kNone;
  bool json = false;
  bool banned_only = false;    // check and explain leave clean lines out
  bool count_names = false;    // -c writes NAME:N, not N alone
  bool line_buffered = false;  // each chunk's answers go out at once
  bool locale_says_utf8 = false;  // the first UTF-8 error says to use -e gbk
};

// Whether the report needs the bytes of every line (filter writes them,
// explain looks for rows in them): then lines are held whole, however long.
bool NeedsLineBytes(const ReportSettings& settings) noexcept;

// Writes the answers for the inputs, one input after the other, and keeps
// the exit status: 0 every line clean, 1 some line banned, 2 an error (which
// outweighs a banned line).
class Report {
 public:
  Report(const ReportSettings& settings, Output& out);

  // Reports an error on standard error, after the lines already answered,
  // and makes the exit status 2.
  void Fail(std::string_view message);

  // `utf16`: the input was UTF-16 converted to UTF-8 as it was read.
  void BeginInput(std::string_view name, Encoding encoding, bool utf16);
  // Answers the `count` lines of data[0 .. size), one verdict each. Returns
  // false when no more of this input is wanted: -l or -q has its answer, or
  // the output failed.
  bool Lines(const char* data, std::size_t size, const unsigned char* verdicts,
             std::size_t count);
  // Answers a line that was screened in pieces, which happens only when
  // !NeedsLineBytes().
  bool LongLine(unsigned char verdict, std::size_t error_offset);
  // `read_whole`: the input was read to its end, or as far as -l or -q
  // needed; -c writes no count for an input that could not be.
  void EndInput(bool read_whole);

  // True when nothing more is to be read: -q has its answer, or the output
  // failed.
  bool stopped() const noexcept { return quiet_done_ || out_.failed(); }
  // Writes out what is held; the exit status.
  int Finish();

 private:
  class LineNumber {
   public:
    void Reset() noexcept;
    void Increment() noexcept;
    std::string_view digits() const noexcept {
      return {digits_ + start_, sizeof digits_ - start_};
    }

   private:
    char digits_[24];
    std::size_t start_ = 0;
  };

  bool Summarize(const char* data, std::size_t size,
                 const unsigned char* verdicts, std::size_t count);
  void Line(std::string_view line, std::string_view ending,
            unsigned char verdict);
  void WriteVerdictLine(unsigned char verdict);
  void WriteExplanation();
  void LineError(std::size_t line_number, std::string_view line,
                 std::size_t error_offset);
  std::string_view RowText(unsigned row);

  const ReportSettings settings_;
  Output& out_;
  int status_ = kExitClean;
  bool quiet_done_ = false;
  bool hinted_ = false;

  // The input being answered.
  std::string name_;
  std::string prefix_;  // "NAME:"
  Encoding encoding_ = Encoding::kGbk;
  bool utf16_ = false;
  std::size_t lines_ = 0;  // lines answered
  LineNumber line_number_;
  std::size_t banned_ = 0;
  std::size_t errors_ = 0;

  std::string scratch_;
  std::vector<tavrin_match> rows_;
  std::string row_text_[kBannedWordCount + 1];  // shown in UTF-8, made once
};

}  // namespace Cli
}  // namespace Tavrin

#endif  // TAVRIN_TOOLS_REPORT_H_
