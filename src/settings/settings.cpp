#include "settings/settings.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kvr {

namespace {

struct KeyEntry {
  int code;
  const char* name;
};

// Searched in this order both ways.
constexpr KeyEntry kKeyNames[] = {
    {112, "F1"},           {113, "F2"},
    {114, "F3"},           {115, "F4"},
    {116, "F5"},           {117, "F6"},
    {118, "F7"},           {119, "F8"},
    {120, "F9"},           {121, "F10"},
    {122, "F11"},          {123, "F12"},
    {45, "Insert"},        {46, "Delete"},
    {36, "Home"},          {35, "End"},
    {33, "PageUp"},        {34, "PageDown"},
    {19, "Pause"},         {145, "ScrollLock"},
    {192, "Tilde"},        {96, "NumPad0"},
    {97, "NumPad1"},       {98, "NumPad2"},
    {99, "NumPad3"},       {100, "NumPad4"},
    {101, "NumPad5"},      {102, "NumPad6"},
    {103, "NumPad7"},      {104, "NumPad8"},
    {105, "NumPad9"},      {106, "NumPadMultiply"},
    {107, "NumPadAdd"},    {109, "NumPadSubtract"},
    {111, "NumPadDivide"},
};
static_assert(std::size(kKeyNames) == 35);

constexpr int kMenuKeyChoices[] = {112, 113, 114, 115, 116, 117, 118, 119, 120, 121,
                                   122, 123, 45,  46,  36,  35,  33,  34,  19,  145};

// strtol clamped to int, so absurdly long digit runs cannot overflow.
int ToIntClamped(const char* text) {
  errno = 0;
  const long long v = std::strtoll(text, nullptr, 10);
  return static_cast<int>(std::clamp<long long>(v, INT_MIN, INT_MAX));
}

bool EqualsIgnoreCase(const std::string& a, const char* b) {
  size_t i = 0;
  for (; i < a.size() && b[i]; ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return i == a.size() && b[i] == '\0';
}

template <typename T>
T Narrow(double v) {
  if constexpr (std::is_same_v<T, bool>) {
    return v != 0.0;
  } else {
    return static_cast<T>(v);
  }
}

}  // namespace

std::span<const SettingDef> SettingsTable() {
  static const std::array<SettingDef, kSettingCount> table = {{
#define KVR_SETTING_DEF(section, key, kind, def, min, max, help) \
  {#section, #key, SettingType::kind, def, min, max, help},
      KVR_SETTINGS_ROWS(KVR_SETTING_DEF)
#undef KVR_SETTING_DEF
  }};
  return table;
}

double GetSettingValue(const Settings& s, int index) {
  switch (index) {
#define KVR_SETTING_GET(section, key, kind, def, min, max, help) \
  case kSetting##key:                                            \
    return static_cast<double>(s.key);
    KVR_SETTINGS_ROWS(KVR_SETTING_GET)
#undef KVR_SETTING_GET
    default:
      return 0.0;
  }
}

void SetSettingValue(Settings& s, int index, double value) {
  if (index < 0 || index >= kSettingCount) return;
  const SettingDef& row = SettingsTable()[static_cast<size_t>(index)];
  if (!std::isfinite(value)) value = row.def;
  value = std::min(std::max(row.min, value), row.max);
  if (row.type != SettingType::Float) value = std::floor(value + 0.5);
  switch (index) {
#define KVR_SETTING_SET(section, key, kind, def, min, max, help) \
  case kSetting##key:                                            \
    s.key = Narrow<decltype(s.key)>(value);                      \
    break;
    KVR_SETTINGS_ROWS(KVR_SETTING_SET)
#undef KVR_SETTING_SET
    default:
      break;
  }
}

std::string KeyName(int code) {
  for (const KeyEntry& e : kKeyNames)
    if (e.code == code) return e.name;
  if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9'))
    return std::string(1, static_cast<char>(code));
  return "VK" + std::to_string(code);
}

int ParseKeyName(const std::string& text) {
  std::string s;
  for (char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) s += c;
  if (s.empty()) return 0;
  for (const KeyEntry& e : kKeyNames)
    if (EqualsIgnoreCase(s, e.name)) return e.code;
  const auto uc = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  if (s.size() == 1 && std::isalnum(uc(0))) return std::toupper(uc(0));
  if (s.size() >= 3 && std::tolower(uc(0)) == 'v' && std::tolower(uc(1)) == 'k')
    return ToIntClamped(s.c_str() + 2);
  if (std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return ToIntClamped(s.c_str());
  return 0;
}

std::string EnumName(const std::string& key, int value) {
  static const char* const kActivation[] = {"Sigmoid", "ReLU", "Tanh"};
  static const char* const kInit[] = {"Plugin uniform -1..1", "Xavier/Glorot"};
  static const char* const kMutation[] = {"Shuffle", "Reweight", "Shift", "Multiply", "Increment"};
  static const char* const kCrossover[] = {"Average", "Weighted"};
  const auto pick = [&](const char* const* names, int count) -> std::string {
    return value >= 0 && value < count ? names[value] : std::to_string(value);
  };
  if (key == "HiddenActivation") return pick(kActivation, 3);
  if (key == "InitMode") return pick(kInit, 2);
  if (key == "MutationType") return pick(kMutation, 5);
  if (key == "CrossoverType") return pick(kCrossover, 2);
  return std::to_string(value);
}

std::string FormatSettingValue(const SettingDef& row, double value) {
  char buffer[64];
  switch (row.type) {
    case SettingType::Key:
      return KeyName(static_cast<int>(value));
    case SettingType::Float: {
      std::snprintf(buffer, sizeof buffer, "%.6g", value);
      std::string text = buffer;
      if (text.find('.') == std::string::npos && text.find('e') == std::string::npos) text += ".0";
      return text;
    }
    case SettingType::Int:
    case SettingType::Enum:
      std::snprintf(buffer, sizeof buffer, "%d", static_cast<int>(value));
      return buffer;
    case SettingType::Bool:
    default:
      return value != 0.0 ? "1" : "0";
  }
}

std::span<const int> MenuKeyChoices() {
  return kMenuKeyChoices;
}

std::string MenuKeyWarning(int code) {
  if (code == 116 || code == 117) return "  F5/F6 belong to Glintmark - pick another key";
  if (code == 118 || code == 119) return "  F7/F8 belong to KorvathPalimarThugs - pick another key";
  if (code == 122) return "  F11 is the engine's fullscreen toggle - pick another key";
  return {};
}

}  // namespace kvr
