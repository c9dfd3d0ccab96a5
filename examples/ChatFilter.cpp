// chat-filter: a host program that screens chat lines with Tavrin. It reads
// standard input line by line, however long a line is, and writes each line
// back with its line ending: unchanged when it is clean, as "***<br>" (what
// Tavrin::Filtrate writes for a banned text) when it holds a banned word.
// It asks IsValid, which needs no buffer; Filtrate would need one as long as
// the line.
#include <Tavrin.h>

#include <iostream>
#include <string>

// Tavrin reads a text up to its first zero byte, so a line that holds zero
// bytes is screened as the pieces between them, each ended in place by the
// next zero byte or by the string's own: a banned word after a zero byte is
// found all the same. (No banned word holds a zero byte, so none can span
// one.)
bool IsClean(const std::string& line) {
  for (std::string::size_type start = 0;; ++start) {
    if (!Tavrin::IsValid(line.c_str() + start)) return false;
    start = line.find('\0', start);
    if (start == std::string::npos) return true;
  }
}

int main() {
  std::string line;
  while (std::getline(std::cin, line)) {
    const bool has_newline = !std::cin.eof();  // the last line may have none
    if (IsClean(line)) {
      std::cout << line;
    } else {
      // A CRLF line keeps its carriage return, and so its CRLF ending.
      const bool crlf = !line.empty() && line[line.size() - 1] == '\r';
      std::cout << (crlf ? "***<br>\r" : "***<br>");
    }
    if (has_newline) std::cout << '\n';
  }
  std::cout.flush();
  return std::cout.good() ? 0 : 1;
}
