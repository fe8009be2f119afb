#include "sim/png_file.h"

#include <cstring>

#include "persistence/brain_file.h"
#include "platform/file.h"

namespace kvr::sim {

namespace {

constexpr char kSignature[] = "\x89PNG\r\n\x1a\n";
constexpr size_t kStoredBlock = 65535;  // largest stored deflate block

void PutU32(std::string& out, uint32_t v) {
  const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                         static_cast<char>(v >> 8), static_cast<char>(v)};
  out.append(bytes, 4);
}

uint32_t GetU32(const std::string& in, size_t at) {
  const auto b = [&](size_t i) { return static_cast<uint32_t>(static_cast<uint8_t>(in[at + i])); };
  return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutU32(out, static_cast<uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  PutU32(out, persistence::Crc32(body));
}

uint32_t Adler32(const std::string& data) {
  uint32_t a = 1, b = 0;
  for (char c : data) {
    a = (a + static_cast<uint8_t>(c)) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

// The zlib stream of `raw` in stored blocks.
std::string StoredZlib(const std::string& raw) {
  std::string z("\x78\x01", 2);
  size_t at = 0;
  do {
    const size_t n = std::min(kStoredBlock, raw.size() - at);
    const bool last = at + n == raw.size();
    z += static_cast<char>(last ? 1 : 0);
    const uint16_t len = static_cast<uint16_t>(n), nlen = static_cast<uint16_t>(~len);
    const char header[4] = {static_cast<char>(len), static_cast<char>(len >> 8),
                            static_cast<char>(nlen), static_cast<char>(nlen >> 8)};
    z.append(header, 4);
    z.append(raw, at, n);
    at += n;
  } while (at < raw.size());
  PutU32(z, Adler32(raw));
  return z;
}

bool UnstoreZlib(const std::string& z, std::string& raw) {
  size_t at = 2;
  for (bool last = false; !last;) {
    if (at + 5 > z.size()) return false;
    const uint8_t head = static_cast<uint8_t>(z[at]);
    if ((head & 0x06) != 0) return false;  // a compressed block: not ours
    last = head & 1;
    const size_t len = static_cast<uint8_t>(z[at + 1]) | static_cast<uint8_t>(z[at + 2]) << 8;
    at += 5;
    if (at + len > z.size()) return false;
    raw.append(z, at, len);
    at += len;
  }
  return true;
}

}  // namespace

bool WritePng(const std::string& path, const Image& image) {
  const size_t stride = static_cast<size_t>(image.width) * 4;
  if (image.width <= 0 || image.height <= 0 || image.rgba.size() != stride * image.height)
    return false;
  std::string raw;
  raw.reserve((stride + 1) * image.height);
  for (int y = 0; y < image.height; ++y) {
    raw += '\0';  // no filter
    raw.append(reinterpret_cast<const char*>(&image.rgba[y * stride]), stride);
  }
  std::string header;
  PutU32(header, static_cast<uint32_t>(image.width));
  PutU32(header, static_cast<uint32_t>(image.height));
  header +=
      std::string("\x08\x06\x00\x00\x00", 5);  // 8 bits, RGBA, deflate, no filter, no interlace
  std::string png(kSignature, 8);
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", StoredZlib(raw));
  PutChunk(png, "IEND", "");
  return platform::WriteFileReplacing(path, png) == platform::ReplaceStatus::kOk;
}

bool ReadPng(const std::string& path, Image& image, std::string& error) {
  std::string png;
  if (!platform::ReadWholeFile(path, png)) {
    error = "cannot read " + path;
    return false;
  }
  if (png.size() < 33 || png.compare(0, 8, kSignature, 8) != 0) {
    error = "not a PNG file";
    return false;
  }
  std::string z;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t len = GetU32(png, at);
    if (at + 12 + len > png.size()) break;
    const std::string type = png.substr(at + 4, 4);
    if (type == "IHDR") {
      image.width = static_cast<int>(GetU32(png, at + 8));
      image.height = static_cast<int>(GetU32(png, at + 12));
      if (png.compare(at + 16, 2, "\x08\x06", 2) != 0) {
        error = "not 8-bit RGBA";
        return false;
      }
    }
    if (type == "IDAT") z.append(png, at + 8, len);
    at += 12 + len;
  }
  std::string raw;
  const size_t stride = static_cast<size_t>(image.width) * 4;
  if (image.width <= 0 || image.height <= 0 || !UnstoreZlib(z, raw) ||
      raw.size() != (stride + 1) * image.height) {
    error = "unreadable image data";
    return false;
  }
  image.rgba.resize(stride * image.height);
  for (int y = 0; y < image.height; ++y) {
    if (raw[y * (stride + 1)] != 0) {
      error = "filtered rows";
      return false;
    }
    std::memcpy(&image.rgba[y * stride], &raw[y * (stride + 1) + 1], stride);
  }
  return true;
}

}  // namespace kvr::sim
