// libFuzzer target: the config.ini reader on arbitrary bytes. Whatever the text says, every
// field of the record must stay inside its documented range.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/config_ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  kvr::Settings settings;
  kvr::ConfigReport report;
  kvr::ApplyConfigIniText(text, settings, &report);
  const auto table = kvr::SettingsTable();
  for (int i = 0; i < kvr::kSettingCount; ++i) {
    const double v = kvr::GetSettingValue(settings, i);
    // Float rows store the limits rounded to float.
    const bool isFloat = table[i].type == kvr::SettingType::Float;
    const double lo = isFloat ? static_cast<float>(table[i].min) : table[i].min;
    const double hi = isFloat ? static_cast<float>(table[i].max) : table[i].max;
    if (!(v >= lo && v <= hi)) std::abort();
  }
  return 0;
}
