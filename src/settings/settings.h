// Settings: the table of every tunable, the clamped record, and the small text conversions
// (key names, enum names, value formatting) that config.ini and the menu share.
//
// Every single-field write goes through SetSettingValue, which clamps to the row's range and
// rounds non-float rows, so a Settings record never holds a value outside its documented range.
#pragma once
#include <cstdint>
#include <span>
#include <string>

#include "settings/settings_rows.h"

namespace kvr {

enum class SettingType : uint8_t { Bool = 0, Int = 1, Float = 2, Key = 3, Enum = 4 };

struct SettingDef {
  const char* section;  // config.ini section, without brackets
  const char* key;      // unique over the table
  SettingType type;
  double def;
  double min;
  double max;
  const char* help;  // one line: file comment and menu tooltip
};

// Row indices, in table order.
enum SettingIndex : int {
#define KVR_SETTING_INDEX(section, key, kind, def, min, max, help) kSetting##key,
  KVR_SETTINGS_ROWS(KVR_SETTING_INDEX)
#undef KVR_SETTING_INDEX
      kSettingCount
};
static_assert(kSettingCount == 62);

namespace detail {
template <SettingType T>
struct SettingStorage {
  using type = int32_t;
};
template <>
struct SettingStorage<SettingType::Bool> {
  using type = bool;
};
template <>
struct SettingStorage<SettingType::Float> {
  using type = float;
};
}  // namespace detail

// One field per table row, in table order, each starting at its default.
struct Settings {
#define KVR_SETTING_FIELD(section, key, kind, def, min, max, help) \
  detail::SettingStorage<SettingType::kind>::type key =            \
      static_cast<detail::SettingStorage<SettingType::kind>::type>(def);
  KVR_SETTINGS_ROWS(KVR_SETTING_FIELD)
#undef KVR_SETTING_FIELD
};

// The whole table (62 rows), built once and immutable; safe from any thread.
std::span<const SettingDef> SettingsTable();

// The row's field widened to double; 0.0 for an index outside the table.
double GetSettingValue(const Settings& settings, int index);

// The only single-field write: non-finite values take the default, then clamp to [min, max],
// non-float rows round half up. An index outside the table changes nothing.
void SetSettingValue(Settings& settings, int index, double value);

// Virtual-key code to its name ("F9", "A", "VK20").
std::string KeyName(int code);

// Name (any case, blanks anywhere) or number to a virtual-key code; 0 when it names no key.
int ParseKeyName(const std::string& text);

// Menu name of an enum value ("Tanh"), or the decimal value when the key/value has no name.
std::string EnumName(const std::string& key, int value);

// A value of the given row as the file and the menu print it ("300.0", "F9", "0.0001").
std::string FormatSettingValue(const SettingDef& row, double value);

// The keys the menu's key picker offers, in picker order.
std::span<const int> MenuKeyChoices();

// Warning shown under the key picker for keys that other programs use; empty for other keys.
std::string MenuKeyWarning(int code);

}  // namespace kvr
