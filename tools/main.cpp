// tavrin: screens lines of text from the shell with the Tavrin library.
// This file parses the command line and does the I/O; what happens to each
// line is decided in LineScreening.cpp.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "LineScreening.h"

#ifndef TAVRIN_VERSION
#error "TAVRIN_VERSION must be defined by the build (PROJECT_VERSION)"
#endif

namespace {

using TavrinCli::Encoding;
using TavrinCli::LineScreener;
using TavrinCli::Verdict;

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
    "            banned (or when it cannot be screened: not UTF-8 under\n"
    "            --encoding utf-8); line endings (LF or CRLF) are kept\n"
    "  explain   as check, and for each banned line one line per row of the\n"
    "            list that occurs in it, with the byte offset of its first\n"
    "            occurrence:  NAME:LINE: row R at byte N: HEX \"TEXT\"\n"
    "\n"
    "Options:\n"
    "  -e, --encoding ENC  the encoding of the input: gbk (the default: bytes\n"
    "                      go to the library as they are) or utf-8 (each line\n"
    "                      is converted to GBK first; a character GBK lacks,\n"
    "                      such as an emoji, is screened as '?', and filter\n"
    "                      writes a clean line back exactly as it came in)\n"
    "  -t, --text TEXT     screen TEXT as if it were a file's content, instead\n"
    "                      of or besides the FILEs; may be given more than\n"
    "                      once (named <text1>, <text2>, ... in the output)\n"
    "  -h, --help          print this help and exit\n"
    "  -V, --version       print the version and exit\n"
    "  --                  every later argument is a FILE\n"
    "\n"
    "NAME is the file as given, <stdin> or <textN>; LINE counts from 1. In\n"
    "explain, byte offsets count the bytes screened: the GBK bytes, also when\n"
    "the input is UTF-8. TEXT is the row in UTF-8 for the terminal; HEX gives\n"
    "its exact GBK bytes. A zero byte inside a line is screened past. Every\n"
    "FILE is read as a file; to screen a text given on the command line,\n"
    "use --text.\n"
    "\n"
    "Exit status: 0 every line clean, 1 some line banned, 2 an error (a file\n"
    "that cannot be read, a bad option, a line that is not UTF-8 under\n"
    "--encoding utf-8); the error is reported on standard error and the\n"
    "other lines and files are still screened.\n";

enum class Command { kNone, kCheck, kFilter, kExplain };

struct Source {
  enum Kind { kFile, kStdin, kText } kind;
  std::string value;  // the file name, or the text
};

struct Options {
  Command command = Command::kNone;
  Encoding encoding = Encoding::kGbk;
  std::vector<Source> sources;
};

void Error(const std::string& message) {
  std::fprintf(stderr, "tavrin: %s\n", message.c_str());
}

int UsageError(const std::string& message) {
  Error(message + " (see tavrin --help)");
  return kExitError;
}

bool ParseCommand(std::string_view word, Command* command) {
  if (word == "check") *command = Command::kCheck;
  else if (word == "filter") *command = Command::kFilter;
  else if (word == "explain") *command = Command::kExplain;
  else return false;
  return true;
}

// Returns -1 when the run should go on, else the exit status.
int ParseArguments(int argc, char** argv, Options* options) {
  bool only_files = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (only_files || arg == "-" || arg.empty() || arg[0] != '-') {
      if (options->command == Command::kNone) {
        if (!ParseCommand(arg, &options->command)) {
          return UsageError("unknown command '" + std::string(arg) +
                            "': use check, filter or explain");
        }
      } else if (arg == "-" && !only_files) {
        options->sources.push_back({Source::kStdin, ""});
      } else {
        options->sources.push_back({Source::kFile, std::string(arg)});
      }
      continue;
    }
    if (arg == "--") {
      only_files = true;
      continue;
    }
    if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return kExitClean;
    }
    if (arg == "-V" || arg == "--version") {
      std::puts("tavrin " TAVRIN_VERSION);
      return kExitClean;
    }
    // The options that take a value: "--name VALUE", "--name=VALUE", "-x VALUE".
    std::string_view name = arg;
    std::string value;
    bool has_value = false;
    const std::size_t equals = arg.find('=');
    if (arg.substr(0, 2) == "--" && equals != std::string_view::npos) {
      name = arg.substr(0, equals);
      value = std::string(arg.substr(equals + 1));
      has_value = true;
    }
    const bool is_encoding = name == "-e" || name == "--encoding";
    const bool is_text = name == "-t" || name == "--text";
    if (!is_encoding && !is_text) {
      return UsageError("unknown option '" + std::string(arg) + "'");
    }
    if (!has_value) {
      if (i + 1 >= argc) {
        return UsageError("option '" + std::string(name) + "' needs a value");
      }
      value = argv[++i];
    }
    if (is_encoding) {
      if (!TavrinCli::ParseEncoding(value, &options->encoding)) {
        return UsageError("unknown encoding '" + value + "': use gbk or utf-8");
      }
    } else {
      options->sources.push_back({Source::kText, value});
    }
  }
  if (options->command == Command::kNone) {
    return UsageError("no command given: use check, filter or explain");
  }
  if (options->sources.empty()) {
    options->sources.push_back({Source::kStdin, ""});
  }
  return -1;
}

class Runner {
 public:
  Runner(Command command, Encoding encoding)
      : command_(command), screener_(encoding) {}

  bool ok() const { return screener_.ok(); }

  void Run(const Source& source) {
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
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
      Fail(std::string("cannot write the output: ") + std::strerror(errno));
    }
    return status_;
  }

 private:
  void Fail(const std::string& message) {
    Error(message);
    status_ = kExitError;
  }

  void Write(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
  }

  void WriteLine(const std::string& text) {
    Write(text);
    Write("\n");
  }

  void RunFd(int fd, const std::string& name) {
    TavrinCli::LineReader reader(fd);
    std::string line;
    std::size_t number = 0;
    while (reader.Next(line)) Screen(name, ++number, line);
    if (reader.error() != 0) {
      Fail(name + ": cannot read: " + std::strerror(reader.error()));
    }
  }

  void RunText(const std::string& text) {
    const std::string name = "<text" + std::to_string(++texts_) + ">";
    std::size_t number = 0;
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find('\n', start);
      end = (end == std::string::npos) ? text.size() : end + 1;
      Screen(name, ++number, std::string_view(text).substr(start, end - start));
      start = end;
    }
  }

  void Screen(const std::string& name, std::size_t number,
              std::string_view line) {
    const TavrinCli::LineParts parts = TavrinCli::SplitEnding(line);
    Verdict verdict;
    switch (command_) {
      case Command::kFilter:
        verdict = screener_.Filter(parts.body, output_);
        Write(output_);
        Write(parts.ending);
        break;
      case Command::kExplain:
        verdict = screener_.Explain(parts.body, hits_);
        WriteLine(TavrinCli::FormatVerdict(name, number, verdict));
        for (const TavrinCli::RowHit& hit : hits_) {
          WriteLine(TavrinCli::FormatHit(name, number, hit));
        }
        if (verdict == Verdict::kBanned && hits_.empty()) {
          WriteLine(name + ':' + std::to_string(number) +
                    ": the library could not screen this line (out of memory)");
        }
        break;
      default:
        verdict = screener_.Check(parts.body);
        WriteLine(TavrinCli::FormatVerdict(name, number, verdict));
        break;
    }
    if (verdict == Verdict::kError) {
      Fail(name + ':' + std::to_string(number) + ": invalid UTF-8 at byte " +
           std::to_string(screener_.error_offset()) +
           (command_ == Command::kFilter ? " (written as ***<br>)" : ""));
    } else if (verdict == Verdict::kBanned && status_ == kExitClean) {
      status_ = kExitBanned;
    }
  }

  Command command_;
  LineScreener screener_;
  std::string output_;
  std::vector<TavrinCli::RowHit> hits_;
  int texts_ = 0;
  int status_ = kExitClean;
};

int Main(int argc, char** argv) {
  Options options;
  const int parsed = ParseArguments(argc, argv, &options);
  if (parsed >= 0) return parsed;

  Runner runner(options.command, options.encoding);
  if (!runner.ok()) {
    Error("this system cannot convert UTF-8 to GBK (iconv has no GBK)");
    return kExitError;
  }
  for (const Source& source : options.sources) runner.Run(source);
  return runner.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fflush(stdout);
    Error("out of memory");
    return kExitError;
  }
}
