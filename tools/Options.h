// The tool's command line: each option defined once, in one table, with its
// help text beside it; getopt_long's arguments and --help are made from that
// table.
#ifndef TAVRIN_TOOLS_OPTIONS_H_
#define TAVRIN_TOOLS_OPTIONS_H_

#include <string>
#include <vector>

#include "Report.h"
#include "Screening.h"

namespace Tavrin {
namespace Cli {

struct Source {
  enum Kind { kFile, kStdin, kText } kind;
  std::string value;  // the file name, or the text
};

// kRows: the rows command, which prints the built-in table and reads no
// input; kRun: the other commands.
enum class Action { kRun, kRows, kHelp, kVersion, kUsageError };

struct Options {
  Action action = Action::kRun;
  std::string error;  // kUsageError: what was wrong, for one line on stderr
  ReportSettings report;
  Encoding encoding = Encoding::kGbk;  // the locale's, unless given
  bool encoding_given = false;
  bool recursive = false;
  unsigned threads = 0;  // 0: the processors this process may use
  std::vector<Source> sources;  // never empty after a kRun parse
};

// Parses the command line into `options`, which holds the defaults (the
// locale's encoding) on entry. Options may come before or after the FILEs,
// as getopt_long allows; "--" makes every later argument a FILE.
void ParseArguments(int argc, char** argv, Options* options);

// What --help prints.
std::string HelpText();

}  // namespace Cli
}  // namespace Tavrin

#endif  // TAVRIN_TOOLS_OPTIONS_H_
