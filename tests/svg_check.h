// A small well-formedness check for the SVG pictures the tools write: every tag closed in
// order, attribute values quoted, no stray '<' or '&' in text. Enough to catch a broken writer
// without an XML library.
#pragma once
#include <string>
#include <vector>

namespace kvr::test {

// Empty when the document is well formed, otherwise what is wrong and where.
inline std::string SvgProblem(const std::string& doc) {
  std::vector<std::string> open;
  size_t i = 0;
  bool root = false;
  while (i < doc.size()) {
    if (doc[i] == '&') {
      const size_t semi = doc.find(';', i);
      const std::string entity = semi == std::string::npos ? "" : doc.substr(i, semi - i + 1);
      if (entity != "&lt;" && entity != "&gt;" && entity != "&amp;" && entity != "&quot;")
        return "bad entity at " + std::to_string(i);
      i = semi + 1;
      continue;
    }
    if (doc[i] != '<') {
      ++i;
      continue;
    }
    size_t end = i + 1;
    bool inQuote = false;
    while (end < doc.size() && (inQuote || doc[end] != '>')) {
      if (doc[end] == '"') inQuote = !inQuote;
      if (inQuote && doc[end] == '<') return "'<' inside an attribute at " + std::to_string(end);
      ++end;
    }
    if (end >= doc.size()) return "unterminated tag at " + std::to_string(i);
    const std::string tag = doc.substr(i + 1, end - i - 1);
    i = end + 1;
    if (tag.empty()) return "empty tag";
    if (tag[0] == '?') continue;  // the XML declaration
    if (tag[0] == '/') {
      const std::string name = tag.substr(1);
      if (open.empty() || open.back() != name) return "unexpected </" + name + ">";
      open.pop_back();
      continue;
    }
    const std::string name = tag.substr(0, tag.find_first_of(" \n/"));
    if (open.empty() && root) return "second root element <" + name + ">";
    if (open.empty()) {
      if (name != "svg") return "root is <" + name + ">, not <svg>";
      root = true;
    }
    if (tag.back() != '/') open.push_back(name);
  }
  if (!open.empty()) return "<" + open.back() + "> never closed";
  return root ? "" : "no <svg> element";
}

}  // namespace kvr::test
