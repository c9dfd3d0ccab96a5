#include "JsonLines.h"

namespace Tavrin {
namespace Cli {
namespace {

// A JSON string of valid UTF-8 (RFC 8259): the quotation mark, the reverse
// solidus and the control characters U+0000 to U+001F are escaped, every
// other character is written as it is.
void AppendJsonString(std::string& out, std::string_view utf8) {
  static const char kHex[] = "0123456789abcdef";
  out += '"';
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          out += "\\u00";
          out += kHex[byte >> 4];
          out += kHex[byte & 0x0F];
        } else {
          out += c;
        }
    }
  }
  out += '"';
}

void AppendBase64(std::string& out, std::string_view bytes) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::size_t i = 0;
  const auto at = [&](std::size_t k) {
    return static_cast<unsigned>(static_cast<unsigned char>(bytes[k]));
  };
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned group = at(i) << 16 | at(i + 1) << 8 | at(i + 2);
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += kAlphabet[(group >> 6) & 63];
    out += kAlphabet[group & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 0) return;
  const unsigned group = at(i) << 16 | (rest == 2 ? at(i + 1) << 8 : 0);
  out += kAlphabet[group >> 18];
  out += kAlphabet[(group >> 12) & 63];
  out += rest == 2 ? kAlphabet[(group >> 6) & 63] : '=';
  out += '=';
}

void AppendJsonData(std::string& out, std::string_view bytes) {
  if (Tavrin::FindInvalidUtf8(bytes) == std::string_view::npos) {
    out += "{\"text\":";
    AppendJsonString(out, bytes);
  } else {
    out += "{\"bytes\":\"";
    AppendBase64(out, bytes);
    out += '"';
  }
  out += '}';
}

}  // namespace

std::string FormatJsonLine(const JsonLine& line) {
  std::string out = "{\"file\":";
  AppendJsonData(out, line.file);
  out += ",\"line\":";
  out += std::to_string(line.line);
  out += ",\"verdict\":";
  AppendJsonString(out, VerdictName(line.verdict));
  if (line.rows != nullptr) {
    out += ",\"rows\":[";
    for (const tavrin_match& hit : *line.rows) {
      if (out.back() == '}') out += ',';
      out += "{\"row\":";
      out += std::to_string(hit.row);
      out += ",\"offset\":";
      out += std::to_string(hit.offset);
      out += ",\"match\":";
      AppendJsonData(out, RowBytes(hit.row));
      out += '}';
    }
    out += ']';
  }
  if (line.output) {
    out += ",\"output\":";
    AppendJsonData(out, *line.output);
  }
  out += '}';
  return out;
}

std::string FormatJsonRow(unsigned row, std::string_view gbk,
                          const std::optional<std::string>& text) {
  std::string out = "{\"row\":" + std::to_string(row) + ",\"gbk\":";
  AppendJsonData(out, gbk);
  out += ",\"text\":";
  if (text) {
    AppendJsonString(out, *text);
  } else {
    out += "null";
  }
  out += '}';
  return out;
}

}  // namespace Cli
}  // namespace Tavrin
