#include "aps/nav_memo.h"

#include <algorithm>
#include <cstring>

namespace kvr::aps {

namespace {

enum Kind : uint8_t { kProject = 1, kPath = 2, kLine = 3 };

constexpr size_t kFirstSlots = 512;  // a busy weave asks a few hundred questions

bool SameBits(const Vec3& a, const Vec3& b) {
  return std::memcmp(&a, &b, sizeof(Vec3)) == 0;
}

// splitmix64's finaliser over the query's bits: cheap, and every input bit reaches every
// slot bit, so nearby points do not crowd one stretch of the table.
uint64_t Mix(uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t Hash(uint8_t kind, const Vec3& a, const Vec3& b) {
  uint32_t bits[6];
  std::memcpy(bits, &a, sizeof a);
  std::memcpy(bits + 3, &b, sizeof b);
  uint64_t h = kind;
  for (uint32_t v : bits) h = Mix(h ^ v);
  return h;
}

}  // namespace

NavMemo::NavMemo(INav& nav, NavMemoStore& store) : nav_(nav), store_(store) {
  store_.entries.clear();
  store_.points.clear();
  if (store_.slots.size() < kFirstSlots) store_.slots.resize(kFirstSlots);
  std::fill(store_.slots.begin(), store_.slots.end(), -1);
}

const NavMemoStore::Entry* NavMemo::Find(uint8_t kind, const Vec3& a, const Vec3& b,
                                         size_t& slot) const {
  const size_t mask = store_.slots.size() - 1;
  for (slot = Hash(kind, a, b) & mask;; slot = (slot + 1) & mask) {
    const int32_t at = store_.slots[slot];
    if (at < 0) return nullptr;
    const NavMemoStore::Entry& e = store_.entries[static_cast<size_t>(at)];
    if (e.kind == kind && SameBits(e.a, a) && SameBits(e.b, b)) return &e;
  }
}

NavMemoStore::Entry& NavMemo::Add(uint8_t kind, const Vec3& a, const Vec3& b, size_t slot) {
  store_.slots[slot] = static_cast<int32_t>(store_.entries.size());
  NavMemoStore::Entry& e = store_.entries.emplace_back();
  e.kind = kind;
  e.a = a;
  e.b = b;
  // Kept at most half full, so a probe always meets an empty slot soon.
  if (store_.entries.size() * 2 > store_.slots.size()) {
    store_.slots.assign(store_.slots.size() * 2, -1);
    const size_t mask = store_.slots.size() - 1;
    for (size_t i = 0; i < store_.entries.size(); ++i) {
      const NavMemoStore::Entry& old = store_.entries[i];
      size_t s = Hash(old.kind, old.a, old.b) & mask;
      while (store_.slots[s] >= 0) s = (s + 1) & mask;
      store_.slots[s] = static_cast<int32_t>(i);
    }
  }
  return store_.entries.back();
}

bool NavMemo::ProjectPoint(const Vec3& point, Vec3& projected) {
  size_t slot = 0;
  if (const NavMemoStore::Entry* e = Find(kProject, point, Vec3{}, slot)) {
    ++repeats_.projections;
    if (e->answer) projected = e->projected;
    return e->answer;
  }
  Vec3 out{};
  const bool answer = nav_.ProjectPoint(point, out);
  NavMemoStore::Entry& e = Add(kProject, point, Vec3{}, slot);
  e.answer = answer;
  e.projected = out;
  if (answer) projected = out;
  return answer;
}

// A refused path leaves `points` as it was: callers read the points only after a true answer.
bool NavMemo::FindPath(const Vec3& from, const Vec3& to, Route& points) {
  size_t slot = 0;
  if (const NavMemoStore::Entry* e = Find(kPath, from, to, slot)) {
    ++repeats_.pathSearches;
    if (e->answer)
      points.assign(store_.points.begin() + e->first, store_.points.begin() + e->first + e->count);
    return e->answer;
  }
  const bool answer = nav_.FindPath(from, to, points);
  NavMemoStore::Entry& e = Add(kPath, from, to, slot);
  e.answer = answer;
  if (answer) {
    e.first = static_cast<uint32_t>(store_.points.size());
    e.count = static_cast<uint32_t>(points.size());
    store_.points.insert(store_.points.end(), points.begin(), points.end());
  }
  return answer;
}

bool NavMemo::HasLineOfSight(const Vec3& from, const Vec3& to) {
  size_t slot = 0;
  if (const NavMemoStore::Entry* e = Find(kLine, from, to, slot)) {
    ++repeats_.lineTests;
    return e->answer;
  }
  const bool answer = nav_.HasLineOfSight(from, to);
  Add(kLine, from, to, slot).answer = answer;
  return answer;
}

}  // namespace kvr::aps
