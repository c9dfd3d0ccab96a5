#include "Options.h"

#include <getopt.h>

#include <cstdlib>
#include <iterator>
#include <string_view>

namespace Tavrin {
namespace Cli {
namespace {

constexpr unsigned kMostThreads = 1024;
// --help: option names in the first kHelpColumn columns, text up to kHelpWidth.
constexpr std::size_t kHelpColumn = 24;
constexpr std::size_t kHelpWidth = 78;

// Sets what an option asks for from its value (nullptr for an option that
// takes none); false, with options->error set, for a value it refuses.
using Apply = bool (*)(Options* options, const char* value);

struct OptionSpec {
  int code;           // its short letter, or a code above 255 for none
  const char* name;   // its long name
  const char* value;  // its value's name in --help, or nullptr for none
  const char* help;
  Apply apply;
};

// Codes of the options that have no short letter.
enum : int { kJson = 256, kLineBuffered, kBannedOnly };

bool Refuse(Options* options, std::string error) {
  options->error = std::move(error);
  return false;
}

const OptionSpec kOptionSpecs[] = {
    {'e', "encoding", "ENC",
     "the encoding of the input: gbk (the bytes go to the library as they "
     "are), utf-8 or gb18030 (each line is converted to GBK first; a "
     "character GBK lacks, such as an emoji, is screened as '?', and filter "
     "writes a clean line back exactly as it came in; a line that is not "
     "well-formed is an error). The default follows the locale (LC_ALL, "
     "LC_CTYPE, LANG): utf-8 in a UTF-8 locale, gb18030 in a GB18030 locale, "
     "gbk in any other: GBK, GB2312, and the C locale of scripts. In a UTF-8 "
     "locale a GBK file is an error (not UTF-8): screen it with -e gbk. A "
     "file that begins with a UTF-16 byte-order mark followed by UTF-16 text "
     "is read as UTF-16 when no ENC is given (filter writes it as UTF-8), "
     "and is an error, not screened, when ENC is given; bytes that merely "
     "begin with a mark are screened as bytes, and the mark is an error. One "
     "that looks like UTF-16 without a mark is refused.",
     [](Options* o, const char* value) {
       o->encoding_given = true;
       return ParseEncoding(value, &o->encoding) ||
              Refuse(o, "unknown encoding '" + std::string(value) +
                            "': use gbk, utf-8 or gb18030");
     }},
    {'t', "text", "TEXT",
     "screen TEXT as if it were a file's content, instead of or besides the "
     "FILEs; may be given more than once (named <text1>, <text2>, ... in the "
     "output)",
     [](Options* o, const char* value) {
       o->sources.push_back({Source::kText, value});
       return true;
     }},
    {'c', "count", nullptr,
     "instead of the command's output, the number of banned lines of each "
     "input: NAME:N, or N alone when there is one input",
     [](Options* o, const char*) {
       o->report.summary = Summary::kCount;
       return true;
     }},
    {'l', "files-with-banned", nullptr,
     "instead of the command's output, the name of each input that has a "
     "banned line; each is read up to its first banned line",
     [](Options* o, const char*) {
       o->report.summary = Summary::kFilesWithBanned;
       return true;
     }},
    {'q', "quiet", nullptr,
     "write nothing on standard output, and stop at the first banned line "
     "(exit status 1). Errors are still reported",
     [](Options* o, const char*) {
       o->report.summary = Summary::kQuiet;
       return true;
     }},
    {kBannedOnly, "banned-only", nullptr,
     "check and explain write only the lines that are not clean (banned, or "
     "an error)",
     [](Options* o, const char*) {
       o->report.banned_only = true;
       return true;
     }},
    {'r', "recursive", nullptr,
     "screen every file under each directory given (the working directory "
     "when no FILE is), in the order of their names; symbolic links found "
     "inside are not followed, and devices, FIFOs and sockets are passed "
     "over. Whatever cannot be read is reported and the rest screened",
     [](Options* o, const char*) {
       o->recursive = true;
       return true;
     }},
    {'j', "threads", "N",
     "screen with N threads; the default is the number of processors this "
     "process may run on. A file or standard input is cut into chunks at "
     "newlines, which the threads screen side by side; the output is the "
     "same as with -j1. With --line-buffered, or output to a terminal, one "
     "thread screens",
     [](Options* o, const char* value) {
       char* end = nullptr;
       const unsigned long n = std::strtoul(value, &end, 10);
       if (*value < '0' || *value > '9' || *end != '\0' || n < 1 ||
           n > kMostThreads) {
         return Refuse(o, "invalid thread count '" + std::string(value) +
                              "': use a number from 1 to " +
                              std::to_string(kMostThreads));
       }
       o->threads = static_cast<unsigned>(n);
       return true;
     }},
    {kJson, "json", nullptr,
     "write JSON Lines: one object per input line, "
     "{\"file\":DATA,\"line\":N,\"verdict\":V}, with "
     "\"rows\":[{\"row\":R,\"offset\":N,\"match\":DATA},...] for explain and "
     "\"output\":DATA for filter; for rows one object per row, "
     "{\"row\":R,\"gbk\":DATA,\"text\":STRING}. DATA is {\"text\":STRING} for "
     "UTF-8, else {\"bytes\":BASE64}",
     [](Options* o, const char*) {
       o->report.json = true;
       return true;
     }},
    {kLineBuffered, "line-buffered", nullptr,
     "write out each line's answer before reading the next line (always so "
     "on a terminal), so that a program can hand tavrin a line and wait for "
     "it",
     [](Options* o, const char*) {
       o->report.line_buffered = true;
       return true;
     }},
    {'h', "help", nullptr, "print this help and exit",
     [](Options* o, const char*) {
       o->action = Action::kHelp;
       return true;
     }},
    {'V', "version", nullptr, "print the version and exit",
     [](Options* o, const char*) {
       o->action = Action::kVersion;
       return true;
     }},
};

struct CommandSpec {
  const char* name;
  Action action;
  Command command;  // for kRun
  const char* help;
};

const CommandSpec kCommandSpecs[] = {
    {"check", Action::kRun, Command::kCheck,
     "print one line per input line: NAME:LINE: clean|banned|error"},
    {"filter", Action::kRun, Command::kFilter,
     "write each line back unchanged when clean, as " TAVRIN_MARKER
     " when banned (or "
     "when it cannot be screened: not well-formed in its encoding); line "
     "endings (LF or CRLF) are kept"},
    {"explain", Action::kRun, Command::kExplain,
     "as check, and for each banned line one line per row of the list that "
     "occurs in it, with the byte offset of its first occurrence:  "
     "NAME:LINE: row R at byte N: HEX \"TEXT\""},
    {"rows", Action::kRows, Command::kCheck,
     "print the 54 rows of the built-in list in table order, one line each: "
     "row R: HEX \"TEXT\". It reads no input, and takes no option but --json"},
};

// "check, filter, explain or rows", for messages.
std::string CommandNames() {
  std::string names;
  const std::size_t count = std::size(kCommandSpecs);
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) names += i + 1 == count ? " or " : ", ";
    names += kCommandSpecs[i].name;
  }
  return names;
}

const char kHelpIntro[] =
    "Usage: tavrin COMMAND [OPTION...] [FILE...]\n"
    "  or:  tavrin rows [--json]\n"
    "Screens each line of the FILEs (standard input when there is none, or\n"
    "for '-') against Tavrin's built-in list of banned words.\n";

// The paragraphs between the commands and the options: what the output
// says, and the memory the tool holds.
const char* const kHelpNotes[] = {
    "NAME is the file as given, <stdin> or <textN>; LINE counts from 1. In "
    "explain, byte offsets count the bytes screened: the GBK bytes, also when "
    "the input is UTF-8 or GB18030. TEXT is the row in UTF-8 for the "
    "terminal; HEX gives its exact GBK bytes. A zero byte inside a line is "
    "screened past. Every FILE is read as a file; to screen a text given on "
    "the command line, use --text. A FILE that is also the output is "
    "refused, but for -c, -l and -q.",
    "Memory: check, -c, -l and -q hold about a megabyte of input a thread, "
    "however long the lines; filter and explain hold each line whole until "
    "its answer is written.",
};

// What follows the option table.
const char kHelpAfterOptions[] =
    "Options may come before or after the FILEs. Of -c, -l and -q the last "
    "given counts.";

// One entry of a list in --help after the options (exit status,
// environment): its term, and what it says.
struct HelpEntry {
  const char* term;
  std::string text;
};

// Each way of using the tool that --help shows: what it does, then the
// command, which help2man sets as an example.
struct HelpExample {
  const char* what;
  const char* command;
};

const HelpExample kHelpExamples[] = {
    {"The verdict of each line of a GBK log; exit status 1 when one is banned:",
     "tavrin check -e gbk chat.log"},
    {"Clean lines as they are, banned ones replaced by " TAVRIN_MARKER ":",
     "tavrin filter -e utf-8 < messages.txt > screened.txt"},
    {"Which rows of the list each banned line holds, and where:",
     "tavrin explain --banned-only -e utf-8 messages.txt"},
    {"The files under logs/ that hold a banned line:", "tavrin check -r -l logs/"},
    {"Only the exit status, for a script:",
     "tavrin check -q -e utf-8 --text \"$message\""},
    {"The list itself, one row a line:", "tavrin rows"},
};

// Appends `text` wrapped to kHelpWidth columns, each line after the first
// indented by `indent` (the first goes on from where `out` ends).
void AppendWrapped(std::string& out, std::string_view text, std::size_t indent) {
  std::size_t column = out.size() - (out.rfind('\n') + 1);
  bool line_empty = true;
  while (!text.empty()) {
    const std::size_t space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    text = space == std::string_view::npos ? "" : text.substr(space + 1);
    if (word.empty()) continue;
    if (!line_empty && column + 1 + word.size() > kHelpWidth) {
      out += '\n';
      out.append(indent, ' ');
      column = indent;
      line_empty = true;
    }
    if (!line_empty) {
      out += ' ';
      ++column;
    }
    out += word;
    column += word.size();
    line_empty = false;
  }
  out += '\n';
}

// The option as the user typed it, for a message: "--encoding" (without a
// value), or "-e".
std::string OptionAsTyped(const char* argument, int short_option) {
  const std::string_view typed = argument;
  if (typed.substr(0, 2) == "--") {
    return std::string(typed.substr(0, typed.find('=')));
  }
  return std::string("-") + static_cast<char>(short_option);
}

void UsageError(Options* options, std::string message) {
  options->action = Action::kUsageError;
  options->error = std::move(message);
}

// Appends "  TERM" and `text`, wrapped, beginning in column kHelpColumn (on
// the next line when TERM reaches it), as the options are written.
void AppendEntry(std::string& help, const std::string& term, std::string_view text) {
  help += "  " + term;
  if (term.size() + 4 > kHelpColumn) {
    help += '\n';
    help.append(kHelpColumn, ' ');
  } else {
    help.append(kHelpColumn - 2 - term.size(), ' ');
  }
  AppendWrapped(help, text, kHelpColumn);
}

}  // namespace

std::string HelpText() {
  std::string help = kHelpIntro;
  help += "\nCommands:\n";
  for (const CommandSpec& command : kCommandSpecs) {
    help += "  ";
    help += command.name;
    help.append(10 - std::string_view(command.name).size(), ' ');
    AppendWrapped(help, command.help, 12);
  }
  for (const char* note : kHelpNotes) {
    help += '\n';
    AppendWrapped(help, note, 0);
  }
  // "Options:", "Exit status:", "Environment:" and "Examples:" head the
  // sections of the manual page that help2man makes of this text
  // (tools/CMakeLists.txt).
  help += "\nOptions:\n";
  for (const OptionSpec& option : kOptionSpecs) {
    std::string names = option.code < 256
                            ? std::string{'-', static_cast<char>(option.code), ','}
                            : std::string("   ");
    names += " --";
    names += option.name;
    if (option.value != nullptr) {
      names += '=';
      names += option.value;
    }
    AppendEntry(help, names, option.help);
  }
  AppendEntry(help, "--", "every later argument is a FILE, even one that begins with '-'");
  help += '\n';
  AppendWrapped(help, kHelpAfterOptions, 0);

  const HelpEntry exit_statuses[] = {
      {"0", "every line of every input is clean"},
      {"1", "some line is banned, and there was no error"},
      {"2",
       "an error: a bad option, a file that cannot be read, a line that is not "
       "well-formed in its encoding, UTF-16 without a byte-order mark, a "
       "byte-order mark before what is not UTF-16 or with -e. Each error is "
       "reported on standard error and the other lines and files are still "
       "screened; of the lines of one input that are not well-formed (a GBK "
       "file read as UTF-8, say) the first " +
           std::to_string(kErrorsShownPerInput) +
           " are reported, then one line gives their count. When the output "
           "cannot be written, tavrin stops at once"},
  };
  help += "\nExit status:\n";
  for (const HelpEntry& status : exit_statuses) AppendEntry(help, status.term, status.text);

  const HelpEntry environment[] = {
      {"LC_ALL, LC_CTYPE, LANG",
       "the first of them that is set names the locale, whose character set "
       "is the input's encoding when no --encoding is given (see there)"},
      {"TAVRIN_FORCE_KERNEL",
       "the screening kernel to run instead of the fastest: " TAVRIN_KERNEL_NAMES
       ". Read once, at the library's first call; an unknown name, or a "
       "kernel this processor cannot run, is ignored. No kernel changes a "
       "verdict"},
  };
  help += "\nEnvironment:\n";
  for (const HelpEntry& variable : environment) {
    AppendEntry(help, variable.term, variable.text);
  }

  help += "\nExamples:\n";
  for (const HelpExample& example : kHelpExamples) {
    help += "  ";
    AppendWrapped(help, example.what, 2);
    help += "    $ ";
    help += example.command;
    help += '\n';
  }
  return help;
}

void ParseArguments(int argc, char** argv, Options* options) {
  std::string short_options = "-:";  // see below
  std::vector<option> long_options;
  for (const OptionSpec& spec : kOptionSpecs) {
    const int has_value = spec.value != nullptr ? required_argument : no_argument;
    if (spec.code < 256) {
      short_options += static_cast<char>(spec.code);
      if (has_value) short_options += ':';
    }
    long_options.push_back({spec.name, has_value, nullptr, spec.code});
  }
  long_options.push_back({nullptr, 0, nullptr, 0});

  bool command_given = false;
  Action command_action = Action::kRun;
  // The first option given that only the commands that read input take,
  // and the first FILE: rows refuses them rather than pass them over.
  std::string input_option, first_file;
  const auto operand = [&](std::string_view arg) {
    if (!command_given) {
      command_given = true;
      for (const CommandSpec& command : kCommandSpecs) {
        if (arg == command.name) {
          options->report.command = command.command;
          command_action = command.action;
          return true;
        }
      }
      UsageError(options, "unknown command '" + std::string(arg) +
                              "': use " + CommandNames());
      return false;
    }
    if (first_file.empty()) first_file = arg;
    options->sources.push_back(
        arg == "-" ? Source{Source::kStdin, ""} : Source{Source::kFile, std::string(arg)});
    return true;
  };

  // "-": getopt_long hands back each operand in its place (as option 1), so
  // that options may follow the FILEs and texts and files keep their order.
  // ":": a missing value is reported as ':', so that every message is ours.
  opterr = 0;
  optind = 0;
  int c;
  while ((c = getopt_long(argc, argv, short_options.c_str(),
                          long_options.data(), nullptr)) != -1) {
    const char* typed = argv[optind - 1];
    if (c == 1) {
      if (!operand(optarg)) return;
      continue;
    }
    if (c == ':') {
      return UsageError(options, "option '" + OptionAsTyped(typed, optopt) +
                                     "' needs a value");
    }
    const OptionSpec* spec = nullptr;
    for (const OptionSpec& candidate : kOptionSpecs) {
      if (candidate.code == c) spec = &candidate;
    }
    if (spec == nullptr) {  // '?'
      // A known long option given a value it does not take leaves its own
      // code in optopt; an unknown or ambiguous one leaves 0.
      if (std::string_view(typed).substr(0, 2) == "--" && optopt != 0) {
        return UsageError(options, "option '" + OptionAsTyped(typed, optopt) +
                                       "' takes no value");
      }
      return UsageError(options, "unknown option '" +
                                     (optopt != 0 ? OptionAsTyped("-", optopt)
                                                  : std::string(typed)) +
                                     "'");
    }
    if (!spec->apply(options, optarg)) {
      return UsageError(options, options->error);
    }
    if (options->action != Action::kRun) return;  // --help, --version
    if (c != kJson && input_option.empty()) input_option = OptionAsTyped(typed, c);
  }
  for (int i = optind; i < argc; ++i) {  // after "--"
    if (!operand(argv[i])) return;
  }
  if (!command_given) {
    return UsageError(options, "no command given: use " + CommandNames());
  }
  if (command_action == Action::kRows) {
    if (!input_option.empty()) {
      return UsageError(options, "option '" + input_option +
                                     "' does not go with rows (it takes only --json)");
    }
    if (!first_file.empty()) {
      return UsageError(options, "rows takes no FILE ('" + first_file + "')");
    }
    options->action = Action::kRows;
    return;
  }
  const ReportSettings& report = options->report;
  if (report.json && report.summary != Summary::kNone) {
    return UsageError(options, "--json does not go with -c, -l or -q");
  }
  if (report.banned_only && report.command == Command::kFilter) {
    return UsageError(options, "--banned-only is for check and explain");
  }
  if (options->sources.empty()) {
    // -r with no FILE screens the working directory (named "": its files
    // are shown without "./"), as grep -r does.
    options->sources.push_back(options->recursive ? Source{Source::kFile, ""}
                                                  : Source{Source::kStdin, ""});
  }
}

}  // namespace Cli
}  // namespace Tavrin
