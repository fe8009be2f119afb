// brain.kvrb: the learned brain on disk (format version 1).
//
// Little-endian, no padding: header with the network shape, the counters, the genomes, the
// replay memory, then a CRC-32 (IEEE 802.3 / zlib) of every byte before it. Reading checks the
// file in a fixed order and answers the first failure with a fixed message; a failed read
// leaves the brain exactly as it was. The parser walks the payload with a bounded cursor and
// bounds every count before allocating, so damaged or hostile bytes can never read past the
// end or ask for huge buffers. Files are replaced whole (temp file, then rename).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tactics/brain.h"

namespace kvr::persistence {

// Rejection messages, in the order the checks run.
inline constexpr const char* kNoSavedBrain = "no saved brain yet";
inline constexpr const char* kFileTooSmall = "file too small";
inline constexpr const char* kChecksumMismatch = "checksum mismatch (file damaged)";
inline constexpr const char* kNotV1 = "not a v1 brain file";
inline constexpr const char* kDifferentCounts = "different input/style count";
inline constexpr const char* kShapeDiffers =
    "network shape differs from config.ini (a fresh brain will be used)";
inline constexpr const char* kBadGenomeCount = "bad genome count";
inline constexpr const char* kBadGenomeData = "bad genome data";
inline constexpr const char* kBadReplayData = "bad replay data";
inline constexpr const char* kTrailingShortData = "trailing/short data";
// Refused before reading: the file is larger than any valid file for the configured shape.
inline constexpr const char* kFileTooLarge = "file larger than any valid brain file";
inline constexpr const char* kUnreadable = "file could not be read";

inline constexpr size_t kMinBrainFileSize = 64;
inline constexpr uint32_t kMaxGenomes = 64;
inline constexpr uint32_t kMaxParamsPerVector = 1000000;
inline constexpr uint32_t kMaxReplayRecords = 8192;
inline constexpr uint32_t kMaxLayers = 16;

// Size of a file of this shape with the most genomes and replay records a file may hold.
size_t MaxBrainFileBytes(const tactics::NetworkShape& shape);

// CRC-32, reflected polynomial 0xEDB88320, initial and final xor 0xFFFFFFFF.
uint32_t Crc32(std::string_view bytes);

// Everything a brain file holds, as decoded (before the population is fitted to the config).
struct BrainImage {
  std::vector<int32_t> layerSizes;
  std::vector<uint8_t> activations;
  uint64_t rngState = 0;
  uint64_t totalEpisodes = 0;
  uint32_t generation = 0;
  float averageLoss = 0.0f;
  uint32_t nextGenomeId = 0;
  std::array<tactics::StyleStats, tactics::kStyleCount> styleStats{};
  std::vector<tactics::Genome> genomes;
  std::vector<tactics::ReplayRecord> replay;
  uint32_t storedWritePos = 0;  // as stored; not yet reduced modulo the record count
};

// The complete file image (CRC included) of a brain; the shape written is the config's.
std::string BuildBrainImage(const tactics::Brain& brain);

// Runs every content check on an in-memory file. expected = the shape the settings ask for;
// nullptr accepts any well-formed shape (for tools that inspect foreign files).
bool DecodeBrainImage(std::string_view bytes, const tactics::NetworkShape* expected,
                      BrainImage& out, std::string& error);

// The brain takes a decoded image, then is fitted to its current config (population and replay
// size) with Brain::Configure, seeded with the loaded rng state.
void InstallBrainImage(BrainImage&& image, tactics::Brain& brain);

// DecodeBrainImage against the brain's configured shape, then InstallBrainImage.
bool ParseBrainFile(std::string_view bytes, tactics::Brain& brain, std::string& error);

// path is UTF-8. Errors: "cannot write <path>.tmp", "write failed", "rename failed".
bool WriteBrainFile(const tactics::Brain& brain, const std::string& path, std::string& error);

// path is UTF-8. On success the brain has been replaced and reconfigured.
bool ReadBrainFile(tactics::Brain& brain, const std::string& path, std::string& error);

}  // namespace kvr::persistence
