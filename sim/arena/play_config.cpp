// config.ini for a play run: VerboseLog on, everything else as the user has it.
#include <cctype>
#include <filesystem>

#include "platform/file.h"
#include "platform/text.h"
#include "settings/config_ini.h"
#include "sim/arena/play.h"

namespace kvr::sim {

namespace {

std::string Trimmed(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

struct LineSpan {
  size_t begin, end;  // the line's text, without its line end
};

// The lines as the mod's reader sees them: a comment runs from ';' or '#' to the line's end.
std::vector<LineSpan> Lines(const std::string& text) {
  std::vector<LineSpan> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    size_t stop = end;
    if (stop > start && text[stop - 1] == '\r') --stop;
    lines.push_back({start, stop});
    start = end + 1;
  }
  return lines;
}

std::string Meaning(const std::string& text, const LineSpan& line) {
  std::string s = text.substr(line.begin, line.end - line.begin);
  if (line.begin == 0 && s.size() >= 3 && static_cast<unsigned char>(s[0]) == 0xEF) s.erase(0, 3);
  const size_t comment = s.find_first_of(";#");
  if (comment != std::string::npos) s.resize(comment);
  return Trimmed(s);
}

}  // namespace

std::string WithSettingOn(const std::string& text, const std::string& wanted,
                          const std::string& key) {
  return WithSetting(text, wanted, key, "1");
}

std::string WithSetting(const std::string& text, const std::string& wanted, const std::string& key,
                        const std::string& value) {
  const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  const std::string line = key + " = " + value;
  std::string section;
  const LineSpan* header = nullptr;
  const LineSpan* setting = nullptr;
  const std::vector<LineSpan> lines = Lines(text);
  for (const LineSpan& l : lines) {
    const std::string m = Meaning(text, l);
    if (m.size() >= 2 && m.front() == '[' && m.back() == ']') {
      section = Trimmed(m.substr(1, m.size() - 2));
      if (section == wanted && !header) header = &l;
      continue;
    }
    const size_t eq = m.find('=');
    if (section == wanted && eq != std::string::npos && Trimmed(m.substr(0, eq)) == key)
      setting = &l;  // a later line wins, as in the reader
  }
  if (setting) return text.substr(0, setting->begin) + line + text.substr(setting->end);
  if (header) {
    const size_t after = header->end;
    return text.substr(0, after) + eol + line + text.substr(after);
  }
  std::string out = text;
  if (!out.empty() && out.back() != '\n') out += eol;
  return out + "[" + wanted + "]" + eol + line + eol;
}

std::string WithVerboseLog(const std::string& text) {
  return WithSettingOn(text, "General", "VerboseLog");
}

bool EnsureVerboseLog(const std::string& modDir, std::string& note, std::string& error,
                      bool showRoutes) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(fs::path(platform::Utf8ToWide(modDir)), ec);
  const std::string path = modDir + "/config.ini";
  const std::string wanted =
      showRoutes ? "VerboseLog = 1 and ShowPathOverlay = 1" : "VerboseLog = 1";
  const auto satisfied = [showRoutes](const Settings& s) {
    return s.VerboseLog && (!showRoutes || s.ShowPathOverlay);
  };
  std::string text;
  if (!platform::ReadWholeFile(path, text)) {
    Settings settings;
    settings.VerboseLog = true;
    settings.ShowPathOverlay = settings.ShowPathOverlay || showRoutes;
    if (!WriteConfigIni(path, settings)) {
      error = "cannot write " + path;
      return false;
    }
    note = "config.ini written with the defaults and " + wanted;
    return true;
  }
  Settings settings;
  ApplyConfigIniText(text, settings, nullptr);
  if (satisfied(settings)) {
    note = "config.ini kept as it is (" + wanted + " already)";
    return true;
  }
  std::string edited = text;
  if (!settings.VerboseLog) edited = WithVerboseLog(edited);
  if (showRoutes && !settings.ShowPathOverlay)
    edited = WithSettingOn(edited, "Debug", "ShowPathOverlay");
  Settings check;
  ApplyConfigIniText(edited, check, nullptr);
  if (!satisfied(check) ||
      platform::WriteFileReplacing(path, edited) != platform::ReplaceStatus::kOk) {
    error = "cannot set " + wanted + " in " + path;
    return false;
  }
  note = "config.ini: " + wanted + " set, every other setting kept";
  return true;
}

}  // namespace kvr::sim
