// The tool's --json output: JSON Lines, one object per input line, for log
// pipelines. Data that may hold any bytes (a file name, a row, a filtered
// line) is written as ripgrep's --json writes it: {"text":"..."} when the
// bytes are valid UTF-8, else {"bytes":"..."} with the bytes in base64
// (RFC 4648, with padding).
//
//   {"file":DATA,"line":N,"verdict":"clean"|"banned"|"error"}
//   explain adds "rows":[{"row":R,"offset":O,"match":DATA},...], every row
//   found with the byte offset of its first occurrence (as in the text
//   output); filter adds "output":DATA, what it writes for the line without
//   the line ending.
//
// The rows command writes one object per row of the built-in list:
//   {"row":R,"gbk":DATA,"text":STRING}
#ifndef TAVRIN_TOOLS_JSONLINES_H_
#define TAVRIN_TOOLS_JSONLINES_H_

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Screening.h"

namespace Tavrin {
namespace Cli {

struct JsonLine {
  std::string_view file;
  std::size_t line = 0;
  unsigned char verdict = TAVRIN_CLEAN;       // TAVRIN_CLEAN, _BANNED, _INVALID
  const std::vector<tavrin_match>* rows = nullptr;  // explain: the rows found
  std::optional<std::string_view> output;     // filter: what it writes
};

// The object for one input line, without a newline.
std::string FormatJsonLine(const JsonLine& line);

// The rows command's object for one row, without a newline:
// {"row":R,"gbk":DATA,"text":STRING}, DATA the row's GBK bytes as above and
// STRING its UTF-8 form, or null when it has none (not valid GBK, or no GBK
// converter in the C library; every built-in row has one).
std::string FormatJsonRow(unsigned row, std::string_view gbk,
                          const std::optional<std::string>& text);

}  // namespace Cli
}  // namespace Tavrin

#endif  // TAVRIN_TOOLS_JSONLINES_H_
