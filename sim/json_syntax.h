// Parsing a user's JSON file so that a syntax error names its place.
#pragma once
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

namespace kvr::sim {

// Parses text; on a syntax error returns a discarded value and sets error to
// "not valid JSON at line L, column C: <what the parser expected>". Never throws.
inline nlohmann::json ParseJsonText(std::string_view text, std::string& error) {
  try {
    return nlohmann::json::parse(text.begin(), text.end());
  } catch (const nlohmann::json::parse_error& e) {
    // The library's text reads "[json.exception.parse_error.101] parse error at line 3, column 5:
    // syntax error while parsing ..."; the part from "line" on is what a user needs.
    const std::string what = e.what();
    const size_t at = what.find("line ");
    error = "not valid JSON" + (at == std::string::npos ? std::string() : " at " + what.substr(at));
  } catch (const std::exception&) {
    error = "not valid JSON";
  }
  return nlohmann::json(nlohmann::json::value_t::discarded);
}

}  // namespace kvr::sim
