#include "persistence/brain_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "platform/file.h"

namespace kvr::persistence {

using tactics::Brain;
using tactics::Genome;
using tactics::ReplayRecord;

namespace {

// Slicing-by-8 tables: table[0] is the classic byte table, table[k][i] advances table[k-1][i]
// by one more zero byte, so eight input bytes are folded per step.
using CrcTables = std::array<std::array<uint32_t, 256>, 8>;
constexpr CrcTables MakeCrcTables() {
  CrcTables t{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1u) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    t[0][i] = c;
  }
  for (size_t k = 1; k < 8; ++k)
    for (uint32_t i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFFu];
  return t;
}
constexpr CrcTables kCrc = MakeCrcTables();

constexpr uint32_t kVersion = 1;
constexpr size_t kReplayRecordSize = tactics::kInputCount * 4 + 1 + 4;

// Little-endian appends into one growing buffer.
struct Writer {
  std::string out;
  void U8(uint8_t v) { out.push_back(static_cast<char>(v)); }
  void U32(uint32_t v) {
    const char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
    out.append(b, 4);
  }
  void U64(uint64_t v) {
    U32(static_cast<uint32_t>(v));
    U32(static_cast<uint32_t>(v >> 32));
  }
  void F32(float v) { U32(std::bit_cast<uint32_t>(v)); }
  // A whole float vector: one copy on little-endian hosts (the file's byte order).
  void F32s(const std::vector<float>& v) {
    if constexpr (std::endian::native == std::endian::little) {
      out.append(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(float));
    } else {
      for (float x : v) F32(x);
    }
  }
  void F64(double v) { U64(std::bit_cast<uint64_t>(v)); }
};

// Bounded little-endian cursor: a read that would pass the end yields 0, marks the parse failed
// and leaves the position where it was.
struct Reader {
  const unsigned char* data;
  size_t size;
  size_t pos = 0;
  bool failed = false;

  bool Take(size_t n) {
    if (n > size - pos) {
      failed = true;
      return false;
    }
    return true;
  }
  uint64_t Uint(size_t n) {
    if (!Take(n)) return 0;
    uint64_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint64_t>(data[pos + i]) << (8 * i);
    pos += n;
    return v;
  }
  uint8_t U8() { return static_cast<uint8_t>(Uint(1)); }
  uint32_t U32() { return static_cast<uint32_t>(Uint(4)); }
  uint64_t U64() { return Uint(8); }
  float F32() { return std::bit_cast<float>(U32()); }
  double F64() { return std::bit_cast<double>(U64()); }
  size_t Remaining() const { return size - pos; }
};

void WriteGenome(Writer& w, const Genome& g) {
  w.U32(g.id);
  w.U32(static_cast<uint32_t>(g.bornGeneration));
  w.U32(static_cast<uint32_t>(g.episodes));
  w.F64(g.fitness);
  w.U32(static_cast<uint32_t>(g.network.weights.size()));
  w.F32s(g.network.weights);
  w.U32(static_cast<uint32_t>(g.network.biases.size()));
  w.F32s(g.network.biases);
}

// A float vector whose count is bounded, and checked against the bytes left, before any
// allocation.
bool ReadFloats(Reader& r, std::vector<float>& out) {
  const uint32_t count = r.U32();
  if (r.failed || count > kMaxParamsPerVector || static_cast<size_t>(count) * 4 > r.Remaining()) {
    r.failed = true;
    return false;
  }
  out.resize(count);
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out.data(), r.data + r.pos, static_cast<size_t>(count) * 4);
    r.pos += static_cast<size_t>(count) * 4;
  } else {
    for (float& v : out) v = r.F32();
  }
  return true;
}

bool ReadShape(Reader& r, const tactics::NetworkShape* expected, BrainImage& img) {
  const uint32_t layers = r.U32();
  if (r.failed || layers < 2 || layers > kMaxLayers) return false;
  img.layerSizes.resize(layers);
  for (int32_t& s : img.layerSizes) s = static_cast<int32_t>(r.U32());
  img.activations.resize(layers - 1);
  for (uint8_t& a : img.activations) a = r.U8();
  if (r.failed) return false;
  if (!expected) return true;
  return img.layerSizes == expected->layerSizes && img.activations == expected->activations;
}

bool ReadCounters(Reader& r, BrainImage& img, uint32_t& genomeCount) {
  img.rngState = r.U64();
  img.totalEpisodes = r.U64();
  img.generation = r.U32();
  img.averageLoss = r.F32();
  img.nextGenomeId = r.U32();
  for (tactics::StyleStats& s : img.styleStats) {
    s.episodes = r.U64();
    s.rewardSum = r.F64();
  }
  genomeCount = r.U32();
  return !r.failed && genomeCount >= 1 && genomeCount <= kMaxGenomes;
}

bool ReadGenome(Reader& r, const BrainImage& img, Genome& g) {
  g.id = r.U32();
  g.bornGeneration = static_cast<int32_t>(r.U32());
  g.episodes = static_cast<int32_t>(r.U32());
  g.fitness = r.F64();
  g.users = 0;
  std::vector<float> weights, biases;
  if (r.failed || !ReadFloats(r, weights) || !ReadFloats(r, biases)) return false;
  return g.network.Assign(img.layerSizes, img.activations, std::move(weights), std::move(biases));
}

bool ReadReplay(Reader& r, uint32_t count, BrainImage& img) {
  img.replay.resize(count);
  for (ReplayRecord& rec : img.replay) {
    for (float& v : rec.inputs) v = r.F32();
    rec.style = r.U8();
    rec.reward = r.F32();
    if (rec.style >= tactics::kStyleCount) r.failed = true;
    if (r.failed) return false;
  }
  return true;
}

// Checks 6 to 10 on the payload (the bytes before the CRC).
bool DecodePayload(Reader& r, const tactics::NetworkShape* expected, BrainImage& img,
                   std::string& error) {
  r.pos = 16;  // magic, version and the two counts were checked by the caller
  if (!ReadShape(r, expected, img)) return error = kShapeDiffers, false;
  uint32_t genomeCount = 0;
  if (!ReadCounters(r, img, genomeCount)) return error = kBadGenomeCount, false;
  img.genomes.resize(genomeCount);
  for (Genome& g : img.genomes)
    if (!ReadGenome(r, img, g)) return error = kBadGenomeData, false;
  const uint32_t records = r.U32();
  img.storedWritePos = r.U32();
  if (r.failed || records > kMaxReplayRecords) return error = kBadReplayData, false;
  // Bound the records by the bytes left before allocating them.
  if (static_cast<size_t>(records) * kReplayRecordSize > r.Remaining() ||
      !ReadReplay(r, records, img) || r.pos != r.size)
    return error = kTrailingShortData, false;
  return true;
}

}  // namespace

uint32_t Crc32(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  uint32_t c = 0xFFFFFFFFu;
  for (; n >= 8; n -= 8, p += 8) {
    const uint32_t lo =
        c ^ (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24);
    c = kCrc[7][lo & 0xFFu] ^ kCrc[6][(lo >> 8) & 0xFFu] ^ kCrc[5][(lo >> 16) & 0xFFu] ^
        kCrc[4][lo >> 24] ^ kCrc[3][p[4]] ^ kCrc[2][p[5]] ^ kCrc[1][p[6]] ^ kCrc[0][p[7]];
  }
  for (; n > 0; --n, ++p) c = kCrc[0][(c ^ *p) & 0xFFu] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

std::string BuildBrainImage(const Brain& brain) {
  const tactics::NetworkShape shape = tactics::ShapeOf(brain.config);
  Writer w;
  size_t genomeBytes = 0;
  for (const Genome& g : brain.genomes)
    genomeBytes += 28 + 4 * (g.network.weights.size() + g.network.biases.size());
  w.out.reserve(19 + 5 * shape.layerSizes.size() + 144 + genomeBytes + 8 +
                kReplayRecordSize * brain.replay.size() + 4);
  w.out.append("KVRB", 4);
  w.U32(kVersion);
  w.U32(tactics::kInputCount);
  w.U32(tactics::kStyleCount);
  w.U32(static_cast<uint32_t>(shape.layerSizes.size()));
  for (int32_t s : shape.layerSizes) w.U32(static_cast<uint32_t>(s));
  for (uint8_t a : shape.activations) w.U8(a);
  w.U64(brain.rng.state);
  w.U64(brain.totalEpisodes);
  w.U32(brain.generation);
  w.F32(brain.averageLoss);
  w.U32(brain.nextGenomeId);
  for (const tactics::StyleStats& s : brain.styleStats) {
    w.U64(s.episodes);
    w.F64(s.rewardSum);
  }
  w.U32(static_cast<uint32_t>(brain.genomes.size()));
  for (const Genome& g : brain.genomes) WriteGenome(w, g);
  w.U32(static_cast<uint32_t>(brain.replay.size()));
  w.U32(static_cast<uint32_t>(brain.replayWritePos));
  for (const ReplayRecord& rec : brain.replay) {
    for (float v : rec.inputs) w.F32(v);
    w.U8(rec.style);
    w.F32(rec.reward);
  }
  w.U32(Crc32(w.out));
  return std::move(w.out);
}

bool DecodeBrainImage(std::string_view bytes, const tactics::NetworkShape* expected,
                      BrainImage& out, std::string& error) {
  if (bytes.size() < kMinBrainFileSize) return error = kFileTooSmall, false;
  const std::string_view payload = bytes.substr(0, bytes.size() - 4);
  Reader crc{reinterpret_cast<const unsigned char*>(bytes.data()) + payload.size(), 4};
  if (Crc32(payload) != crc.U32()) return error = kChecksumMismatch, false;
  Reader r{reinterpret_cast<const unsigned char*>(payload.data()), payload.size()};
  const bool magic = payload.substr(0, 4) == "KVRB";
  r.pos = 4;
  if (!magic || r.U32() != kVersion) return error = kNotV1, false;
  const uint32_t inputs = r.U32();
  const uint32_t styles = r.U32();
  if (inputs != tactics::kInputCount || styles != tactics::kStyleCount)
    return error = kDifferentCounts, false;
  BrainImage img;
  if (!DecodePayload(r, expected, img, error)) return false;
  out = std::move(img);
  return true;
}

void InstallBrainImage(BrainImage&& img, Brain& brain) {
  brain.rng.state = img.rngState;
  brain.totalEpisodes = img.totalEpisodes;
  brain.generation = img.generation;
  brain.averageLoss = img.averageLoss;
  brain.nextGenomeId = img.nextGenomeId;
  brain.styleStats = img.styleStats;
  brain.genomes = std::move(img.genomes);
  brain.replay = std::move(img.replay);
  brain.replayWritePos = brain.replay.empty() ? 0 : img.storedWritePos % brain.replay.size();
  const tactics::BrainConfig config = brain.config;
  brain.Configure(config, img.rngState);
}

bool ParseBrainFile(std::string_view bytes, Brain& brain, std::string& error) {
  const tactics::NetworkShape shape = tactics::ShapeOf(brain.config);
  BrainImage img;
  if (!DecodeBrainImage(bytes, &shape, img, error)) return false;
  InstallBrainImage(std::move(img), brain);
  return true;
}

bool WriteBrainFile(const Brain& brain, const std::string& path, std::string& error) {
  switch (platform::WriteFileReplacing(path, BuildBrainImage(brain))) {
    case platform::ReplaceStatus::kOk:
      return true;
    case platform::ReplaceStatus::kCannotOpen:
      error = "cannot write " + path + ".tmp";
      return false;
    case platform::ReplaceStatus::kWriteFailed:
      error = "write failed";
      return false;
    case platform::ReplaceStatus::kRenameFailed:
      error = "rename failed";
      return false;
  }
  error = "write failed";
  return false;
}

size_t MaxBrainFileBytes(const tactics::NetworkShape& shape) {
  const size_t layers = shape.layerSizes.size();
  size_t params = 0;  // weights and biases of one genome
  for (size_t i = 0; i + 1 < layers; ++i) {
    const auto in = static_cast<size_t>(std::max(0, shape.layerSizes[i]));
    const auto out = static_cast<size_t>(std::max(0, shape.layerSizes[i + 1]));
    params += in * out + out;
  }
  const size_t header = 16 + 4 + 4 * layers + (layers ? layers - 1 : 0) + 28 + 16 * 7 + 4;
  const size_t genome = 28 + 4 * params;
  return header + kMaxGenomes * genome + 8 + kMaxReplayRecords * kReplayRecordSize + 4;
}

bool ReadBrainFile(Brain& brain, const std::string& path, std::string& error) {
  std::string bytes;
  switch (
      platform::ReadFileCapped(path, MaxBrainFileBytes(tactics::ShapeOf(brain.config)), bytes)) {
    case platform::ReadStatus::kOk:
      return ParseBrainFile(bytes, brain, error);
    case platform::ReadStatus::kCannotOpen:
      return error = kNoSavedBrain, false;
    case platform::ReadStatus::kTooLarge:
      return error = kFileTooLarge, false;
    case platform::ReadStatus::kReadFailed:
      break;
  }
  return error = kUnreadable, false;
}

}  // namespace kvr::persistence
