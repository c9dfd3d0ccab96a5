// tavrin: screens lines of text from the shell with the Tavrin library.
// This file parses the command line (getopt_long) and does the I/O; what
// happens to each line is decided in LineScreening.cpp, and JsonLines.cpp
// writes the --json output.
#include <fcntl.h>
#include <getopt.h>
#include <langinfo.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "JsonLines.h"
#include "LineScreening.h"
#include "TavrinVersion.h"

namespace {

using Tavrin::Cli::Encoding;
using Tavrin::Cli::LineScreener;
using Tavrin::Cli::Verdict;

constexpr int kExitClean = 0;
constexpr int kExitBanned = 1;
constexpr int kExitError = 2;

const char kUsage[] =
    "Usage: tavrin COMMAND [OPTION...] [FILE...]\n"
    "Screens each line of the FILEs (standard input when there is none, or\n"
    "for '-') against Tavrin's built-in list of banned words.\n"
    "\n"
    "Commands:\n"
    "  check     print one line per input line: NAME:LINE: clean|banned|error\n"
    "  filter    write each line back unchanged when clean, as ***<br> when\n"
    "            banned (or when it cannot be screened: not UTF-8 when the\n"
    "            input is UTF-8); line endings (LF or CRLF) are kept\n"
    "  explain   as check, and for each banned line one line per row of the\n"
    "            list that occurs in it, with the byte offset of its first\n"
    "            occurrence:  NAME:LINE: row R at byte N: HEX \"TEXT\"\n"
    "\n"
    "Options (before or after the FILEs):\n"
    "  -e, --encoding=ENC  the encoding of the input: gbk (the bytes go to the\n"
    "                      library as they are) or utf-8 (each line is\n"
    "                      converted to GBK first; a character GBK lacks,\n"
    "                      such as an emoji, is screened as '?', and filter\n"
    "                      writes a clean line back exactly as it came in).\n"
    "                      The default follows the locale (LC_ALL, LC_CTYPE,\n"
    "                      LANG): utf-8 in a UTF-8 locale, gbk in any other:\n"
    "                      GBK, GB2312, GB18030, and the C locale of scripts.\n"
    "                      In a UTF-8 locale a GBK file is an error (not\n"
    "                      UTF-8): screen it with -e gbk.\n"
    "  -t, --text=TEXT     screen TEXT as if it were a file's content, instead\n"
    "                      of or besides the FILEs; may be given more than\n"
    "                      once (named <text1>, <text2>, ... in the output)\n"
    "      --json          write JSON Lines: one object per input line,\n"
    "                      {\"file\":DATA,\"line\":N,\"verdict\":V}, with\n"
    "                      \"rows\":[{\"row\":R,\"offset\":N,\"match\":DATA},...]\n"
    "                      for explain and \"output\":DATA for filter; DATA is\n"
    "                      {\"text\":STRING} for UTF-8, else {\"bytes\":BASE64}\n"
    "      --line-buffered write out each line's answer before reading the\n"
    "                      next line (always so on a terminal), so that a\n"
    "                      program can hand tavrin a line and wait for it\n"
    "  -h, --help          print this help and exit\n"
    "  -V, --version       print the version and exit\n"
    "  --                  every later argument is a FILE\n"
    "\n"
    "NAME is the file as given, <stdin> or <textN>; LINE counts from 1. In\n"
    "explain, byte offsets count the bytes screened: the GBK bytes, also when\n"
    "the input is UTF-8. TEXT is the row in UTF-8 for the terminal; HEX gives\n"
    "its exact GBK bytes. A zero byte inside a line is screened past. Every\n"
    "FILE is read as a file; to screen a text given on the command line,\n"
    "use --text. A FILE that is also the output is refused.\n"
    "\n"
    "Exit status: 0 every line clean, 1 some line banned, 2 an error (a file\n"
    "that cannot be read, a bad option, a line that is not UTF-8 when the\n"
    "input is UTF-8); the error is reported on standard error and the other\n"
    "lines and files are still screened. When the output cannot be written\n"
    "tavrin stops at once, with exit status 2.\n";

void Error(const std::string& message) {
  std::fprintf(stderr, "tavrin: %s\n", message.c_str());
}

int UsageError(const std::string& message) {
  Error(message + " (see tavrin --help)");
  return kExitError;
}

// Standard output, written with write(2) so that a failed write is seen as
// it happens: the first failure is kept, and nothing more is written.
class Output {
 public:
  Output() = default;
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Write(std::string_view bytes) {
    if (failed()) return;
    if (buffer_.size() + bytes.size() > kCapacity && !Flush()) return;
    if (bytes.size() >= kCapacity) {
      Send(bytes);  // a long line goes out as it is, without a copy
    } else {
      buffer_.append(bytes.data(), bytes.size());
    }
  }

  // Writes out what is held. False once a write has failed.
  bool Flush() {
    if (!failed() && !buffer_.empty()) {
      Send(buffer_);
      buffer_.clear();
    }
    return !failed();
  }

  bool failed() const { return error_ != 0; }
  int error() const { return error_; }

 private:
  static constexpr std::size_t kCapacity = 64 * 1024;

  void Send(std::string_view bytes) {
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

  std::string buffer_;
  int error_ = 0;
};

// Writes `text` as the whole output (help, version): exit status 0, or 2
// when it cannot be written.
int PrintAndExit(Output& out, std::string_view text) {
  out.Write(text);
  if (out.Flush()) return kExitClean;
  Error(std::string("cannot write the output: ") + std::strerror(out.error()));
  return kExitError;
}

// ---------------------------------------------------------------- encoding

// The encoding of the input when no -e is given, from the locale's
// character set: UTF-8 input in a UTF-8 locale, the bytes as they are in any
// other (GBK, GB2312, GB18030, and the C/POSIX locale of scripts and CI).
Encoding EncodingOfCodeset(std::string_view codeset) {
  Encoding encoding = Encoding::kGbk;
  Tavrin::Cli::ParseEncoding(codeset, &encoding);  // "UTF-8" (or "GBK")
  return encoding;
}

Encoding LocaleEncoding() {
  if (std::setlocale(LC_ALL, "") != nullptr ||
      std::setlocale(LC_CTYPE, "") != nullptr) {
    return EncodingOfCodeset(nl_langinfo(CODESET));
  }
  // The locale asked for is not installed here. Its name still tells the
  // character set of the user's terminal and files ("en_US.UTF-8"): going
  // by it beats reading UTF-8 as bytes and passing what it says as clean.
  const char* name = nullptr;
  for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
    name = std::getenv(variable);
    if (name != nullptr && *name != '\0') break;
  }
  std::string_view codeset = name != nullptr ? name : "";
  const std::size_t dot = codeset.find('.');
  codeset = dot == std::string_view::npos ? "" : codeset.substr(dot + 1);
  return EncodingOfCodeset(codeset.substr(0, codeset.find('@')));
}

// ---------------------------------------------------------------- arguments

enum class Command { kNone, kCheck, kFilter, kExplain };

struct Source {
  enum Kind { kFile, kStdin, kText } kind;
  std::string value;  // the file name, or the text
};

struct Options {
  Command command = Command::kNone;
  Encoding encoding = Encoding::kGbk;
  bool encoding_given = false;
  bool line_buffered = false;
  bool json = false;
  std::vector<Source> sources;
};

bool ParseCommand(std::string_view word, Command* command) {
  if (word == "check") *command = Command::kCheck;
  else if (word == "filter") *command = Command::kFilter;
  else if (word == "explain") *command = Command::kExplain;
  else return false;
  return true;
}

// The long options without a short form.
enum : int { kOptionLineBuffered = 256, kOptionJson };

const option kLongOptions[] = {
    {"encoding", required_argument, nullptr, 'e'},
    {"text", required_argument, nullptr, 't'},
    {"json", no_argument, nullptr, kOptionJson},
    {"line-buffered", no_argument, nullptr, kOptionLineBuffered},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// The option as the user typed it, for a message: "--encoding" (without a
// value), or "-e".
std::string OptionAsTyped(const char* argument, int short_option) {
  const std::string_view typed = argument;
  if (typed.substr(0, 2) == "--") {
    return std::string(typed.substr(0, typed.find('=')));
  }
  return std::string("-") + static_cast<char>(short_option);
}

// Returns -1 when the run should go on, else the exit status.
int ParseArguments(int argc, char** argv, Options* options, Output& out) {
  bool command_given = false;
  const auto operand = [&](std::string_view arg) {
    if (!command_given) {
      command_given = true;
      if (!ParseCommand(arg, &options->command)) {
        return UsageError("unknown command '" + std::string(arg) +
                          "': use check, filter or explain");
      }
    } else if (arg == "-") {
      options->sources.push_back({Source::kStdin, ""});
    } else {
      options->sources.push_back({Source::kFile, std::string(arg)});
    }
    return -1;
  };

  // "-": getopt_long hands back each operand in its place (as option 1), so
  // that options may follow the FILEs and texts and files keep their order.
  // ":": a missing value is reported as ':', so that every message is ours.
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, "-:e:t:hV", kLongOptions, nullptr)) !=
         -1) {
    const char* typed = argv[optind - 1];
    switch (c) {
      case 1:
        if (const int status = operand(optarg); status >= 0) return status;
        break;
      case 'e':
        if (!Tavrin::Cli::ParseEncoding(optarg, &options->encoding)) {
          return UsageError("unknown encoding '" + std::string(optarg) +
                            "': use gbk or utf-8");
        }
        options->encoding_given = true;
        break;
      case 't':
        options->sources.push_back({Source::kText, optarg});
        break;
      case kOptionJson:
        options->json = true;
        break;
      case kOptionLineBuffered:
        options->line_buffered = true;
        break;
      case 'h':
        return PrintAndExit(out, kUsage);
      case 'V':
        return PrintAndExit(out, "tavrin " TAVRIN_VERSION "\n");
      case ':':
        return UsageError("option '" + OptionAsTyped(typed, optopt) +
                          "' needs a value");
      default:  // '?'
        // A known long option given a value it does not take leaves its
        // own code in optopt; an unknown or ambiguous one leaves 0.
        if (std::string_view(typed).substr(0, 2) == "--" && optopt != 0) {
          return UsageError("option '" + OptionAsTyped(typed, optopt) +
                            "' takes no value");
        }
        return UsageError("unknown option '" +
                          (optopt != 0 ? OptionAsTyped("-", optopt)
                                       : std::string(typed)) +
                          "'");
    }
  }
  for (int i = optind; i < argc; ++i) {  // after "--"
    if (const int status = operand(argv[i]); status >= 0) return status;
  }
  if (options->command == Command::kNone) {
    return UsageError("no command given: use check, filter or explain");
  }
  if (options->sources.empty()) {
    options->sources.push_back({Source::kStdin, ""});
  }
  return -1;
}

// ---------------------------------------------------------------- screening

class Runner {
 public:
  Runner(const Options& options, Output& out)
      : options_(options),
        screener_(options.encoding),
        out_(out),
        line_buffered_(options.line_buffered || ::isatty(STDOUT_FILENO)) {
    struct stat st;
    output_is_file_ = ::fstat(STDOUT_FILENO, &st) == 0 && S_ISREG(st.st_mode);
    if (output_is_file_) output_ = st;
  }

  bool ok() const { return screener_.ok(); }

  void Run(const Source& source) {
    if (out_.failed()) return;
    switch (source.kind) {
      case Source::kStdin:
        RunFd(STDIN_FILENO, "<stdin>");
        break;
      case Source::kText:
        RunText(source.value);
        break;
      case Source::kFile: {
        int fd;
        do {
          fd = ::open(source.value.c_str(), O_RDONLY | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
          Fail(source.value + ": cannot open: " + std::strerror(errno));
          return;
        }
        RunFd(fd, source.value);
        ::close(fd);
        break;
      }
    }
  }

  int Finish() {
    if (!out_.Flush()) {
      Fail(std::string("cannot write the output: ") +
           std::strerror(out_.error()));
    }
    return status_;
  }

 private:
  // The lines already screened go out first, so that a message lands after
  // them where standard output and standard error are the same file.
  void Fail(const std::string& message) {
    out_.Flush();
    Error(message);
    status_ = kExitError;
  }

  void WriteLine(std::string_view text) {
    out_.Write(text);
    out_.Write("\n");
  }

  // Reading a file into itself would never end (tavrin filter f >> f), so a
  // regular file that is also the output is refused, as GNU grep does.
  bool IsTheOutput(int fd) const {
    struct stat st;
    return output_is_file_ && ::fstat(fd, &st) == 0 &&
           st.st_dev == output_.st_dev && st.st_ino == output_.st_ino;
  }

  void RunFd(int fd, const std::string& name) {
    if (IsTheOutput(fd)) {
      Fail(name + ": input file is also the output");
      return;
    }
    Tavrin::Cli::LineReader reader(fd);
    std::string line;
    std::size_t number = 0;
    // A failed write ends the run at once, endless input or not.
    while (!out_.failed() && reader.Next(line)) Screen(name, ++number, line);
    if (reader.error() != 0) {
      Fail(name + ": cannot read: " + std::strerror(reader.error()));
    }
  }

  // A text is screened as a file holding it would be, but the empty text is
  // one empty line, so that every --text gets its verdict.
  void RunText(const std::string& text) {
    const std::string name = "<text" + std::to_string(++texts_) + ">";
    std::size_t number = 0;
    std::size_t start = 0;
    do {
      std::size_t end = text.find('\n', start);
      end = (end == std::string::npos) ? text.size() : end + 1;
      Screen(name, ++number, std::string_view(text).substr(start, end - start));
      start = end;
    } while (start < text.size() && !out_.failed());
  }

  void Screen(const std::string& name, std::size_t number,
              std::string_view line) {
    const Tavrin::Cli::LineParts parts = Tavrin::Cli::SplitEnding(line);
    Tavrin::Cli::JsonLine json;
    json.file = name;
    json.line = number;
    Verdict verdict;
    switch (options_.command) {
      case Command::kFilter:
        verdict = screener_.Filter(parts.body, filtered_);
        if (options_.json) {
          json.output = filtered_;
        } else {
          out_.Write(filtered_);
          out_.Write(parts.ending);
        }
        break;
      case Command::kExplain:
        verdict = screener_.Explain(parts.body, hits_);
        json.rows = &hits_;
        if (!options_.json) {
          WriteLine(Tavrin::Cli::FormatVerdict(name, number, verdict));
          for (const Tavrin::Cli::RowHit& hit : hits_) {
            WriteLine(Tavrin::Cli::FormatHit(name, number, hit));
          }
        }
        break;
      default:
        verdict = screener_.Check(parts.body);
        if (!options_.json) {
          WriteLine(Tavrin::Cli::FormatVerdict(name, number, verdict));
        }
        break;
    }
    if (options_.json) {
      json.verdict = verdict;
      WriteLine(Tavrin::Cli::FormatJsonLine(json));
    }
    if (line_buffered_) out_.Flush();

    if (verdict == Verdict::kError) {
      std::string message = name + ':' + std::to_string(number) +
                            ": invalid UTF-8 at byte " +
                            std::to_string(screener_.error_offset());
      if (options_.command == Command::kFilter) {
        message += " (written as ***<br>)";
      }
      if (!options_.encoding_given && !hinted_) {
        message += "; the locale says UTF-8: for GBK input use -e gbk";
        hinted_ = true;
      }
      Fail(message);
    } else if (verdict == Verdict::kBanned && status_ == kExitClean) {
      status_ = kExitBanned;
    }
  }

  const Options& options_;
  LineScreener screener_;
  Output& out_;
  const bool line_buffered_;
  bool output_is_file_ = false;
  struct stat output_ {};
  std::string filtered_;
  std::vector<Tavrin::Cli::RowHit> hits_;
  int texts_ = 0;
  bool hinted_ = false;
  int status_ = kExitClean;
};

int Main(int argc, char** argv, Output& out) {
  const Encoding locale_encoding = LocaleEncoding();
  Options options;
  options.encoding = locale_encoding;
  const int parsed = ParseArguments(argc, argv, &options, out);
  if (parsed >= 0) return parsed;

  Runner runner(options, out);
  if (!runner.ok()) {
    Error("this system cannot convert UTF-8 to GBK (iconv has no GBK)");
    return kExitError;
  }
  for (const Source& source : options.sources) runner.Run(source);
  return runner.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  Output out;
  try {
    return Main(argc, argv, out);
  } catch (const std::bad_alloc&) {
    out.Flush();
    Error("out of memory");
    return kExitError;
  }
}
