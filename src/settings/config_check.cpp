#include "settings/config_check.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "settings/ini_line.h"
#include "settings/settings.h"

namespace kvr {

namespace {

using Severity = ConfigProblem::Severity;

// Keys the MenuKey comment in the file tells players to leave alone, and who uses them.
struct ReservedKey {
  int code;
  const char* user;
};
constexpr std::array<ReservedKey, 5> kReservedMenuKeys{{{116, "Glintmark"},
                                                        {117, "Glintmark"},
                                                        {118, "KorvathPalimarThugs"},
                                                        {119, "KorvathPalimarThugs"},
                                                        {122, "the engine's fullscreen toggle"}}};

std::string Quote(std::string_view s) {
  // Appended piece by piece: GCC 12 at -O2 takes `"\"" + std::string(s)` for an overlapping copy.
  std::string out;
  out.reserve(s.size() + 2);
  out += '"';
  out += s;
  out += '"';
  return out;
}

bool IsSection(std::string_view name) {
  for (const SettingDef& row : SettingsTable())
    if (name == row.section) return true;
  return false;
}

std::string SectionList() {
  std::string list;
  for (const SettingDef& row : SettingsTable()) {
    const std::string name = std::string("[") + row.section + "]";
    if (list.find(name) == std::string::npos) list += (list.empty() ? "" : ", ") + name;
  }
  return list;
}

// Table index of section.key, or -1. When inAnySection, the section is not compared.
int FindRow(std::string_view section, std::string_view key, bool inAnySection) {
  const auto table = SettingsTable();
  for (size_t i = 0; i < table.size(); ++i)
    if (key == table[i].key && (inAnySection || section == table[i].section))
      return static_cast<int>(i);
  return -1;
}

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t up = row[j];
      const bool same = std::tolower(static_cast<unsigned char>(a[i - 1])) ==
                        std::tolower(static_cast<unsigned char>(b[j - 1]));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

// The section's key closest to a mistyped one, when one is close enough to be the likely meaning.
std::string Closest(std::string_view section, std::string_view key) {
  std::string best;
  size_t bestDistance = std::max<size_t>(2, key.size() / 3) + 1;
  for (const SettingDef& row : SettingsTable()) {
    if (section != row.section) continue;
    const size_t d = EditDistance(key, row.key);
    if (d < bestDistance) {
      bestDistance = d;
      best = row.key;
    }
  }
  return best;
}

struct Review {
  std::vector<ConfigProblem> problems;
  std::array<int, kSettingCount> lineOf{};  // 1-based line that last set each row, 0 for none
  std::string section;
  bool inSection = false;  // a header was seen
  bool knownSection = false;
  int line = 0;

  void Add(Severity s, std::string message) { problems.push_back({line, s, std::move(message)}); }
  void Line(std::string_view text);
  void Header(std::string_view text);
  void Setting(std::string_view key, std::string_view value);
  void UnknownKey(std::string_view key);
  void Value(int row, std::string_view value);
  void NumberValue(const SettingDef& def, std::string_view text, double& value);
  void KeyValue(const SettingDef& def, std::string_view text, double& value);
};

void Review::Line(std::string_view text) {
  if (text.empty()) return;
  if (text.front() == '[') return Header(text);
  const size_t eq = text.find('=');
  if (eq == std::string_view::npos)
    return Add(Severity::kError, Quote(text) + " is not a setting (no \"=\"); the mod skips it");
  Setting(ini::Trim(text.substr(0, eq)), ini::Trim(text.substr(eq + 1)));
}

void Review::Header(std::string_view text) {
  std::string_view name;
  inSection = true;
  if (!ini::IsSectionHeader(text, name)) {
    // The reader does not take it as a header: the keys below stay in the previous section.
    return Add(Severity::kError, "section header " + Quote(text) +
                                     " has no closing \"]\"; the mod skips it and reads the lines "
                                     "below as part of the section before");
  }
  section = std::string(name);
  knownSection = IsSection(name);
  if (!knownSection)
    Add(Severity::kError, "unknown section " + Quote(text) + "; the mod ignores every key in it (" +
                              "the sections are " + SectionList() + ")");
}

void Review::Setting(std::string_view key, std::string_view value) {
  if (!inSection)
    return Add(Severity::kError, Quote(std::string(key) + " = " + std::string(value)) +
                                     " comes before any [section]; the mod ignores it");
  if (!knownSection) return;  // the section was already named as unknown
  const int row = FindRow(section, key, false);
  if (row < 0) return UnknownKey(key);
  int& seen = lineOf[static_cast<size_t>(row)];
  if (seen != 0)
    Add(Severity::kWarning, std::string(key) + " was already set on line " + std::to_string(seen) +
                                "; this later line is the one the mod uses");
  seen = line;
  Value(row, value);
}

void Review::UnknownKey(std::string_view key) {
  std::string message = "unknown key " + Quote(key) + " in [" + section + "]; the mod ignores it";
  const int elsewhere = FindRow(section, key, true);
  const std::string closest = Closest(section, key);
  if (elsewhere >= 0)
    message += " (" + std::string(key) + " belongs in [" +
               SettingsTable()[static_cast<size_t>(elsewhere)].section + "])";
  else if (!closest.empty())
    message += " (did you mean " + closest + "?)";
  Add(Severity::kError, message);
}

void Review::KeyValue(const SettingDef& def, std::string_view text, double& value) {
  const int code = ParseKeyName(std::string(text));
  if (code < 1) {
    value = def.def;
    return Add(Severity::kError, std::string(def.key) + " = " + Quote(text) +
                                     " names no key; the mod uses the default " +
                                     KeyName(static_cast<int>(def.def)) +
                                     " (kvr-config keys lists the names)");
  }
  value = code;
  for (const ReservedKey& r : kReservedMenuKeys)
    if (code == r.code)
      Add(Severity::kWarning, std::string(def.key) + " = " + KeyName(code) +
                                  ": the comment above it says " + r.user + " uses " +
                                  KeyName(code) + "; both would react to it");
}

void Review::NumberValue(const SettingDef& def, std::string_view text, double& value) {
  const std::string s(text);
  char* end = nullptr;
  value = std::strtod(s.c_str(), &end);
  const std::string_view rest = ini::Trim(std::string_view(end));
  const std::string defaultText = FormatSettingValue(def, def.def);
  if (end == s.c_str() || !std::isfinite(value)) {
    value = def.def;
    return Add(Severity::kError, std::string(def.key) + " = " + Quote(text) +
                                     " is not a number; the mod uses the default " + defaultText);
  }
  if (rest.empty()) return;
  const std::string read = std::string(text.substr(0, text.size() - std::string_view(end).size()));
  if (*end == ',' && std::isdigit(static_cast<unsigned char>(end[1]))) {
    std::string meant = s;
    meant[static_cast<size_t>(end - s.c_str())] = '.';
    return Add(Severity::kError, std::string(def.key) + " = " + Quote(text) + " reads as " +
                                     std::string(ini::Trim(read)) +
                                     ": decimals take a full stop (" + meant + ")");
  }
  Add(Severity::kWarning, std::string(def.key) + " = " + Quote(text) + " reads as " +
                              std::string(ini::Trim(read)) + "; the mod ignores " + Quote(rest));
}

void Review::Value(int row, std::string_view text) {
  const SettingDef& def = SettingsTable()[static_cast<size_t>(row)];
  double value = def.def;
  const size_t before = problems.size();
  if (def.type == SettingType::Key)
    KeyValue(def, text, value);
  else
    NumberValue(def, text, value);
  if (problems.size() != before && problems.back().severity == Severity::kError) return;
  Settings probe;
  SetSettingValue(probe, row, value);
  const double stored = GetSettingValue(probe, row);
  if (value < def.min || value > def.max)
    Add(Severity::kWarning, std::string(def.key) + " = " + std::string(text) + " is outside " +
                                FormatSettingValue(def, def.min) + " .. " +
                                FormatSettingValue(def, def.max) + "; the mod uses " +
                                FormatSettingValue(def, stored));
  else if (def.type != SettingType::Float && stored != value)
    Add(Severity::kWarning, std::string(def.key) + " = " + std::string(text) +
                                " is not a whole number; the mod uses " +
                                FormatSettingValue(def, stored));
}

}  // namespace

std::vector<ConfigProblem> CheckConfigIniText(std::string_view text) {
  Review review;
  ini::ForEachLine(text, [&](int lineNo, std::string_view line) {
    review.line = lineNo + 1;
    review.Line(line);
  });
  return review.problems;
}

}  // namespace kvr
