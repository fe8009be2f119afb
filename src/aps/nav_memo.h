// NavMemo: answers the queries a build repeats from its own earlier answers.
//
// One build asks the same navigation question more than once: a line test that string pulling
// found blocked is asked again by the collinear thinning; several apex targets snap to one
// navmesh point, and that point's two legs and its ring of clearance probes are asked again for
// each of them. The navigation is a pure function of the query while a build runs (the build is
// on the game thread and the navmesh does not change under it), so a repeated query gets the
// first answer again, bit for bit: the same result, the same projected point, the same route.
//
// A query repeats only when its arguments match bit for bit; nearly equal points are asked
// anew. A memo lives for one build: its store is emptied when the memo is made, keeping only
// its capacity, so a steady game allocates nothing here.
#pragma once
#include <cstdint>
#include <vector>

#include "aps/aps.h"

namespace kvr::aps {

// Queries of one build answered from the memo instead of the navigation, by kind.
struct NavRepeats {
  int32_t projections = 0;
  int32_t pathSearches = 0;
  int32_t lineTests = 0;
  int32_t Total() const { return projections + pathSearches + lineTests; }
};

// The memo's memory, owned by the caller so that it keeps its capacity from build to build.
struct NavMemoStore {
  struct Entry {
    uint8_t kind = 0;
    Vec3 a, b;
    bool answer = false;
    Vec3 projected;      // ProjectPoint's point
    uint32_t first = 0;  // FindPath's points in `points`
    uint32_t count = 0;
    uint32_t slot = 0;  // where the table points at this entry, once indexed
    uint64_t hash = 0;
  };
  std::vector<Entry> entries;
  // Open addressing over the first `indexed` entries: the key's tag in the high half, the
  // entry's number + 1 in the low half; 0 is empty.
  std::vector<uint64_t> slots;
  size_t indexed = 0;
  std::vector<NavPoint> points;
};

// Nearly every question of a build is new, and the navigation between two questions pushes the
// table out of the processor's near caches, so a lookup in it would wait on memory every time.
// A small bit filter, which stays near, answers "new" for most questions instead; the table is
// consulted, and the entries added since it was last consulted are filed into it in one sweep,
// only when the filter's bit was already set.
class NavMemo final : public INav {
 public:
  // Empties `store`; both must outlive the memo.
  NavMemo(INav& nav, NavMemoStore& store);

  bool ProjectPoint(const Vec3& point, Vec3& projected) override;
  bool FindPath(const Vec3& from, const Vec3& to, Route& points) override;
  bool HasLineOfSight(const Vec3& from, const Vec3& to) override;

  const NavRepeats& Repeats() const { return repeats_; }

 private:
  static constexpr size_t kFilterWords = 64;  // 4096 bits

  // The entry of an earlier identical query, or null. `hash` is the key's hash, from Hash in
  // the source file.
  const NavMemoStore::Entry* Find(uint8_t kind, const Vec3& a, const Vec3& b, uint64_t hash);
  NavMemoStore::Entry& Add(uint8_t kind, const Vec3& a, const Vec3& b, uint64_t hash);
  void IndexPending();
  void Grow();

  INav& nav_;
  NavMemoStore& store_;
  NavRepeats repeats_;
  uint64_t filter_[kFilterWords] = {};
};

}  // namespace kvr::aps
