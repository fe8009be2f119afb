// libFuzzer target: key names as config.ini and the menu read them. Whatever the text, the key
// it gives must be stored inside MenuKey's range, the name the file writes for it must read back
// as the same key, and the reader must treat the text exactly as ParseKeyName does.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/config_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const int code = kvr::ParseKeyName(text);
  kvr::Settings settings;
  kvr::SetSettingValue(settings, kvr::kSettingMenuKey, code);
  const int stored = settings.MenuKey;
  if (stored < 1 || stored > 254) std::abort();
  if (code >= 1 && code <= 254 && stored != code) std::abort();
  if (kvr::ParseKeyName(kvr::KeyName(stored)) != stored) std::abort();

  // The same text as a MenuKey line (one line: comments and line breaks end it early).
  if (text.find_first_of(";#\r\n") == std::string::npos) {
    kvr::Settings read;
    kvr::ConfigReport report;
    kvr::ApplyConfigIniText("[General]\nMenuKey = " + text + "\n", read, &report);
    const auto& row = report.rows[kvr::kSettingMenuKey];
    const int expected = code >= 1 ? std::min(code, 254) : 120;
    if (report.read != 1 || read.MenuKey != expected) std::abort();
    if ((row.source == kvr::ConfigRowReport::Source::kUnreadable) != (code < 1)) std::abort();
  }
  return 0;
}
