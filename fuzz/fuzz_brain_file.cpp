// libFuzzer target: the brain file parser on arbitrary bytes.
//
// Each input is parsed three ways: as given (almost always a checksum rejection), with its
// checksum made to fit so that the mutations reach the structural checks, and without an
// expected shape (the path kvr-brain uses for foreign files). A successful parse also installs
// the brain, which fits its population and replay memory to the config.
#include <cstddef>
#include <cstdint>
#include <string>

#include "persistence/brain_file.h"

namespace {

const kvr::tactics::Brain& Template() {
  static const kvr::tactics::Brain brain = [] {
    kvr::tactics::Brain b;
    kvr::tactics::BrainConfig config;
    config.population = 3;  // fewer than most files: loading also removes genomes
    config.replaySize = 64;
    b.Configure(config, 1);
    return b;
  }();
  return brain;
}

void Parse(const std::string& bytes) {
  kvr::tactics::Brain brain = Template();
  std::string error;
  kvr::persistence::ParseBrainFile(bytes, brain, error);
  kvr::persistence::BrainImage image;
  kvr::persistence::DecodeBrainImage(bytes, nullptr, image, error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  Parse(bytes);
  if (bytes.size() >= 4) {
    const uint32_t crc =
        kvr::persistence::Crc32(std::string_view(bytes).substr(0, bytes.size() - 4));
    for (int i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<char>(crc >> (8 * i));
    Parse(bytes);
  }
  return 0;
}
