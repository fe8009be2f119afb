#include "settings/config_ini.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "settings/ini_line.h"

namespace kvr {

namespace {

constexpr const char* kCrlf = "\r\n";

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

// The table's sections with their row ranges (sections are contiguous) and every row's key,
// found once: a file with thousands of lines then costs a few comparisons per line.
struct RowRange {
  std::string_view section;
  int begin = 0;
  int end = 0;
};

struct TableIndex {
  std::vector<RowRange> sections;
  std::array<std::string_view, kSettingCount> keys;
};

const TableIndex& Index() {
  static const TableIndex index = [] {
    TableIndex t;
    const auto table = SettingsTable();
    for (int i = 0; i < kSettingCount; ++i) {
      const SettingDef& row = table[static_cast<size_t>(i)];
      t.keys[static_cast<size_t>(i)] = row.key;
      if (t.sections.empty() || t.sections.back().section != row.section)
        t.sections.push_back({row.section, i, i});
      t.sections.back().end = i + 1;
    }
    return t;
  }();
  return index;
}

// The rows of one section; empty for a section the table does not have.
RowRange SectionRows(std::string_view section) {
  for (const RowRange& r : Index().sections)
    if (r.section == section) return r;
  return {};
}

// The last value text of every table row the text sets (views into text). Lines that name no
// row (unknown sections and keys, lines before the first header) can never be used, so they are
// not kept: a hostile file with thousands of lines costs no allocation per line.
std::array<std::optional<std::string_view>, kSettingCount> ParseLines(std::string_view text) {
  std::array<std::optional<std::string_view>, kSettingCount> values;
  const TableIndex& index = Index();
  RowRange rows;  // lines before the first header belong to no section
  ini::ForEachLine(text, [&](int, std::string_view line) {
    if (line.empty()) return;
    std::string_view section;
    if (ini::IsSectionHeader(line, section)) {
      rows = SectionRows(section);
      return;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return;
    const std::string_view key = ini::Trim(line.substr(0, eq));
    for (int i = rows.begin; i < rows.end; ++i) {
      if (key == index.keys[static_cast<size_t>(i)]) {
        values[static_cast<size_t>(i)] = ini::Trim(line.substr(eq + 1));
        break;
      }
    }
  });
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
    const std::optional<std::string_view>& found = values[static_cast<size_t>(i)];
    double value = row.def;
    if (!found) {
      ++r.missing;
      rr.source = ConfigRowReport::Source::kMissing;
    } else {
      ++r.read;
      rr.text = *found;
      const bool readable = ParseValue(row, rr.text, value);
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
