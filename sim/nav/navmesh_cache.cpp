#include "sim/nav/navmesh_cache.h"

#include <cstdio>
#include <filesystem>

#include "platform/text.h"

namespace kvr::sim {
namespace {

uint64_t Fnv1a(uint64_t hash, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001B3ull;
  return hash;
}

// What the build reads: the floor and the obstacles (not the player or spawn points), the
// settings, and the file format.
uint64_t BuildKey(const Level& level, const NavMeshConfig& config) {
  Level shape = level;
  shape.name.clear();
  shape.hasPlayerStart = false;
  shape.patrol.clear();
  shape.spawns.clear();
  const std::string text = "kvrn-1\n" + LevelToJson(shape);
  uint64_t hash = Fnv1a(0xCBF29CE484222325ull, text.data(), text.size());
  const float settings[] = {config.cellSize,     config.cellHeight,    config.agentRadius,
                            config.agentHeight,  config.agentMaxClimb, config.agentMaxSlope,
                            config.maxEdgeLength};
  return Fnv1a(hash, settings, sizeof settings);
}

}  // namespace

std::string DefaultNavMeshCacheDir() {
  std::error_code ec;
  const std::filesystem::path temp = std::filesystem::temp_directory_path(ec);
  return ec ? std::string() : platform::WideToUtf8((temp / L"kvr-navmesh").wstring());
}

bool CachedNavMesh(const Level& level, const NavMeshConfig& config, const std::string& cacheDir,
                   NavMesh& out, bool& fromCache, std::string& error) {
  fromCache = false;
  std::string file;
  if (!cacheDir.empty()) {
    char name[40];
    std::snprintf(name, sizeof name, "/%016llx.kvrn",
                  static_cast<unsigned long long>(BuildKey(level, config)));
    file = cacheDir + name;
    std::string ignored;
    if (LoadNavMesh(file, out, ignored)) {
      fromCache = true;
      return true;
    }
  }
  if (!file.empty()) {
    // Only the folder itself: a mistyped path must not leave a trail of new folders behind.
    namespace fs = std::filesystem;
    const fs::path dir(platform::Utf8ToWide(cacheDir));
    std::error_code ec, ignored;
    if (!fs::create_directory(dir, ec) && !fs::is_directory(dir, ignored)) {
      error = "cannot create the navmesh cache folder " + cacheDir + ": " +
              (ec ? ec.message() : std::string("a file of that name is in the way"));
      return false;
    }
  }
  if (!BuildNavMesh(level, config, out, error)) return false;
  if (!file.empty()) {
    std::string ignored;
    SaveNavMesh(out, file, ignored);
  }
  return true;
}

}  // namespace kvr::sim
