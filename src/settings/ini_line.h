// How one line of config.ini is cut up. The mod's reader and the hand-edit review share it, so
// the review can never disagree with what the mod actually reads.
#pragma once
#include <string_view>

namespace kvr::ini {

// The C locale's white space (blank, tab, LF, vertical tab, form feed, CR), whatever locale the
// game process runs in.
inline bool IsBlank(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

inline std::string_view Trim(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// The text before the first ';' or '#': both start a comment anywhere on a line.
inline std::string_view WithoutComment(std::string_view line) {
  for (size_t i = 0; i < line.size(); ++i)
    if (line[i] == ';' || line[i] == '#') return line.substr(0, i);
  return line;
}

// Walks the text line by line (split at LF; a UTF-8 byte-order mark on the first line dropped)
// and hands each line, comment cut and trimmed, with its 0-based number to visit.
template <typename Visit>
void ForEachLine(std::string_view text, Visit&& visit) {
  size_t start = 0;
  for (int lineNo = 0; start <= text.size(); ++lineNo) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    start = end + 1;
    if (lineNo == 0 && line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF)
      line.remove_prefix(3);
    visit(lineNo, Trim(WithoutComment(line)));
  }
}

// "[name]" (blanks inside allowed): true and the trimmed name.
inline bool IsSectionHeader(std::string_view line, std::string_view& name) {
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return false;
  name = Trim(line.substr(1, line.size() - 2));
  return true;
}

}  // namespace kvr::ini
