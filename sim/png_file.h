// Screenshots as PNG files: 8-bit RGBA, stored (uncompressed) deflate blocks, so writing and
// reading need no compression library. ReadPng reads what WritePng writes (and any PNG of that
// kind), not PNG files in general.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kvr::sim {

struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgba;  // rows top to bottom, 4 bytes a pixel

  const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

// False when the file cannot be written (nothing half-written is left under the path).
bool WritePng(const std::string& path, const Image& image);

// False (error set) for a file that is not an uncompressed 8-bit RGBA PNG.
bool ReadPng(const std::string& path, Image& image, std::string& error);

}  // namespace kvr::sim
