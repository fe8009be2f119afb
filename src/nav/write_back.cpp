#include "nav/write_back.h"
#include "host/api/host.h"
#include "nav/engine_records.h"

namespace kvr::game {

bool WriteBackRoute(void* path, const aps::Route& route) {
  if (!path) return false;
  const engine::PathPoints array = engine::ReadPathPoints(path);
  if (!array.Usable()) return false;
  const size_t n = route.size();
  if (n == 0 || n > static_cast<size_t>(engine::kMaxPathPoints)) return false;
  const size_t bytes = n * sizeof(aps::NavPoint);
  const auto count = static_cast<int32_t>(n);
  if (array.capacity >= count) {
    std::memcpy(array.points, route.data(), bytes);
    engine::WriteAt(path, engine::kPathCount, count);
    return true;
  }
  // The engine frees the array with the path, so a bigger one must come from its allocator.
  host::IHost* h = host::Host();
  if (!h || !h->HasEngineAllocator()) return false;
  void* grown = h->Malloc(bytes, 16);
  if (!grown) return false;
  std::memcpy(grown, route.data(), bytes);
  engine::WriteAt(path, engine::kPathPoints, static_cast<aps::NavPoint*>(grown));
  engine::WriteAt(path, engine::kPathCount, count);
  engine::WriteAt(path, engine::kPathCapacity, count);
  h->Free(array.points);
  return true;
}

}  // namespace kvr::game
