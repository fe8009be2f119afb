// config.ini: the self-documenting settings file.
//
// The writer produces the whole file from the table and a record (CRLF line ends, a banner,
// one section per table section, help, default and range comments, then "Key = value").
// The reader accepts that file and any hand-edited variant; every value goes through
// SetSettingValue, so whatever the file says, the record stays inside the documented ranges.
#pragma once
#include <array>
#include <string>

#include "settings/settings.h"

namespace kvr {

// What the reader made of one row (kvr-config reports it; the mod only needs the summary).
struct ConfigRowReport {
  enum class Source : uint8_t { kMissing, kRead, kUnreadable };
  Source source = Source::kMissing;
  std::string text;        // the value text as the file gave it (trimmed)
  double requested = 0.0;  // what the text parsed to (the default when missing/unreadable)
  double stored = 0.0;     // what the record holds afterwards
};

struct ConfigReport {
  int read = 0;
  int missing = 0;
  int unreadable = 0;
  std::array<ConfigRowReport, kSettingCount> rows{};
};

// The complete file text for a record.
std::string BuildConfigIniText(const Settings& settings);

// Applies a file's text over the record and reports per row; returns the summary status line.
std::string ApplyConfigIniText(const std::string& text, Settings& settings, ConfigReport* report);

// Writes the whole file to "<path>.tmp" and moves it over path. True when it is in place; false
// for an empty path.
bool WriteConfigIni(const std::string& path, const Settings& settings);

// No real config.ini comes near this size; a larger file is not read.
inline constexpr size_t kMaxConfigIniBytes = size_t{1} << 20;

enum class ConfigFileState {
  kRead,      // the file was read, whatever its content; status holds the summary line
  kNotFound,  // "config.ini not found - using defaults"
  kRefused,   // present but too large or unreadable: defaults, and the file is to be left alone
};

// Reads the file over the record. Anything but kRead leaves the record untouched. text, when
// given, receives the file's text (kRead only), for a closer look without a second read.
ConfigFileState ReadConfigIniFile(const std::string& path, Settings& settings, std::string& status,
                                  ConfigReport* report = nullptr, std::string* text = nullptr);

// ReadConfigIniFile, true for kRead.
bool ReadConfigIni(const std::string& path, Settings& settings, std::string& status,
                   ConfigReport* report = nullptr);

}  // namespace kvr
