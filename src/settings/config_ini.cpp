#include "settings/config_ini.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <map>

#include "platform/file.h"

namespace kvr {

namespace {

constexpr const char* kCrlf = "\r\n";

std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

void AppendDefaultLine(std::string& out, const SettingDef& row) {
  out += ";   default ";
  if (row.type == SettingType::Bool) {
    out += FormatSettingValue(row, row.def) + "   (0 = off, 1 = on)";
  } else if (row.type == SettingType::Key) {
    out += KeyName(static_cast<int>(row.def));
  } else {
    out += FormatSettingValue(row, row.def) + "   range " + FormatSettingValue(row, row.min) +
           " .. " + FormatSettingValue(row, row.max);
  }
  out += kCrlf;
}

// section.key -> value text; a later line replaces an earlier one.
std::map<std::string, std::string> ParseLines(const std::string& text) {
  std::map<std::string, std::string> values;
  std::string section;
  size_t start = 0;
  for (int lineNo = 0; start <= text.size(); ++lineNo) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (lineNo == 0 && line.size() >= 3 && static_cast<unsigned char>(line[0]) == 0xEF)
      line.erase(0, 3);
    const size_t comment = line.find_first_of(";#");
    if (comment != std::string::npos) line.resize(comment);
    line = Trim(line);
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']' && line.size() >= 2) {
      section = Trim(line.substr(1, line.size() - 2));
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string::npos) continue;
    values[section + "." + Trim(line.substr(0, eq))] = Trim(line.substr(eq + 1));
  }
  return values;
}

// Decides the value for one found row; false when the text is unreadable.
bool ParseValue(const SettingDef& row, const std::string& text, double& value) {
  if (row.type == SettingType::Key) {
    const int code = ParseKeyName(text);
    if (code < 1) return false;
    value = code;
    return true;
  }
  const char* begin = text.c_str();
  char* end = nullptr;
  const double parsed = std::strtod(begin, &end);
  if (end == begin) return false;
  value = parsed;
  return true;
}

}  // namespace

std::string BuildConfigIniText(const Settings& settings) {
  std::string out;
  out.reserve(16384);
  out += "; KorvathPalimarNeuralNav v1.0.1 - Dunmere (Halvenor)\r\n";
  out +=
      "; Neural-network tactics + Adaptive Pathfinding System arcs for Palimar Thugs - korvath "
      "madly vastly enhanced, advanced, and improved.\r\n";
  out +=
      "; Edit here or live in the in-game menu (default key F9). Every value is clamped to its "
      "[min..max]. Delete this file to get defaults back.\r\n";
  const auto table = SettingsTable();
  for (size_t i = 0; i < table.size(); ++i) {
    const SettingDef& row = table[i];
    if (i == 0 || std::string(row.section) != table[i - 1].section)
      out += std::string(kCrlf) + "[" + row.section + "]" + kCrlf;
    out += std::string("; ") + row.help + kCrlf;
    AppendDefaultLine(out, row);
    out += std::string(row.key) + " = " +
           FormatSettingValue(row, GetSettingValue(settings, static_cast<int>(i))) + kCrlf;
  }
  return out;
}

std::string ApplyConfigIniText(const std::string& text, Settings& settings, ConfigReport* report) {
  const auto values = ParseLines(text);
  ConfigReport local;
  ConfigReport& r = report ? *report : local;
  r = ConfigReport{};
  const auto table = SettingsTable();
  for (int i = 0; i < kSettingCount; ++i) {
    const SettingDef& row = table[static_cast<size_t>(i)];
    ConfigRowReport& rr = r.rows[static_cast<size_t>(i)];
    const auto it = values.find(std::string(row.section) + "." + row.key);
    double value = row.def;
    if (it == values.end()) {
      ++r.missing;
      rr.source = ConfigRowReport::Source::kMissing;
    } else {
      ++r.read;
      rr.text = it->second;
      const bool readable = ParseValue(row, it->second, value);
      if (!readable) {
        value = row.def;
        ++r.unreadable;
      }
      rr.source = readable ? ConfigRowReport::Source::kRead : ConfigRowReport::Source::kUnreadable;
    }
    rr.requested = value;
    SetSettingValue(settings, i, value);
    rr.stored = GetSettingValue(settings, i);
  }
  char status[256];
  std::snprintf(status, sizeof status,
                "config.ini: %d settings read, %d missing (defaults used), %d unreadable (defaults "
                "used); all clamped to their documented ranges",
                r.read, r.missing, r.unreadable);
  return status;
}

bool WriteConfigIni(const std::string& path, const Settings& settings) {
  if (path.empty()) return false;
  return platform::WriteFileReplacing(path, BuildConfigIniText(settings)) ==
         platform::ReplaceStatus::kOk;
}

ConfigFileState ReadConfigIniFile(const std::string& path, Settings& settings, std::string& status,
                                  ConfigReport* report) {
  std::string text;
  switch (platform::ReadFileCapped(path, kMaxConfigIniBytes, text)) {
    case platform::ReadStatus::kOk:
      status = ApplyConfigIniText(text, settings, report);
      return ConfigFileState::kRead;
    case platform::ReadStatus::kCannotOpen:
      status = "config.ini not found - using defaults";
      return ConfigFileState::kNotFound;
    case platform::ReadStatus::kTooLarge:
      status = "config.ini is larger than " + std::to_string(kMaxConfigIniBytes) +
               " bytes - not read, using defaults (the file is left as it is)";
      return ConfigFileState::kRefused;
    case platform::ReadStatus::kReadFailed:
      break;
  }
  status = "config.ini could not be read - using defaults (the file is left as it is)";
  return ConfigFileState::kRefused;
}

bool ReadConfigIni(const std::string& path, Settings& settings, std::string& status,
                   ConfigReport* report) {
  return ReadConfigIniFile(path, settings, status, report) == ConfigFileState::kRead;
}

}  // namespace kvr
