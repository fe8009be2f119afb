// Brains and brain.kvrb bytes shared by the brain file tests.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "persistence/brain_file.h"
#include "tactics/brain.h"

namespace kvr::test {

// A brain of the default shape, seeded, with nothing learnt yet.
inline tactics::Brain FreshBrain(
    uint64_t seed, tactics::BrainConfig config = tactics::MakeBrainConfig(Settings{})) {
  tactics::Brain brain;
  brain.Configure(config, seed);
  return brain;
}

// Recomputes the trailing CRC of brain.kvrb bytes, so that a deliberate change reaches the
// checks after the checksum.
inline std::string Resealed(std::string s) {
  const uint32_t crc = persistence::Crc32(std::string_view(s).substr(0, s.size() - 4));
  std::memcpy(s.data() + s.size() - 4, &crc, sizeof crc);
  return s;
}

}  // namespace kvr::test
