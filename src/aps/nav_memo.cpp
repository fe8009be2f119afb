#include "aps/nav_memo.h"

#include <bit>
#include <cstring>

namespace kvr::aps {

namespace {

enum Kind : uint8_t { kProject = 1, kPath = 2, kLine = 3 };

// A busy weave asks a few hundred questions; the table is kept at most a quarter full, so a
// lookup rarely passes more than one taken slot.
constexpr size_t kFirstSlots = 1024;

bool SameBits(const Vec3& a, const Vec3& b) {
  return std::memcmp(&a, &b, sizeof(Vec3)) == 0;
}

uint64_t Bits(float v) {
  return std::bit_cast<uint32_t>(v);
}

// The query's six coordinates paired into three words (in registers: no detour through memory
// that would stall the loads on the stores), each multiplied by its own odd constant so that
// the three overlap in the pipeline, folded, and finished with splitmix64's finaliser so that
// every input bit reaches every bit of the hash: the low bits pick the slot, bits 20 to 31 the
// filter's bit, the high half is the tag.
uint64_t Hash(uint8_t kind, const Vec3& a, const Vec3& b) {
  const uint64_t w0 = Bits(a.x) | Bits(a.y) << 32;
  const uint64_t w1 = Bits(a.z) | Bits(b.x) << 32;
  const uint64_t w2 = Bits(b.y) | Bits(b.z) << 32;
  uint64_t z = (w0 * 0x9E3779B97F4A7C15ull) ^ (w1 * 0xC2B2AE3D27D4EB4Full) ^
               (w2 * 0x165667B19E3779F9ull) ^ kind;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t Tag(uint64_t hash) {
  return hash & 0xFFFFFFFF00000000ull;
}

size_t FilterBit(uint64_t hash) {
  return static_cast<size_t>(hash >> 20) & 4095;
}

}  // namespace

NavMemo::NavMemo(INav& nav, NavMemoStore& store) : nav_(nav), store_(store) {
  // Only the slots the last build filed are emptied: far fewer than the table holds.
  if (store_.slots.size() < kFirstSlots) {
    store_.slots.assign(kFirstSlots, 0);
  } else {
    for (size_t i = 0; i < store_.indexed; ++i) store_.slots[store_.entries[i].slot] = 0;
  }
  store_.indexed = 0;
  store_.entries.clear();
  store_.points.clear();
}

const NavMemoStore::Entry* NavMemo::Find(uint8_t kind, const Vec3& a, const Vec3& b,
                                         uint64_t hash) {
  const size_t bit = FilterBit(hash);
  if ((filter_[bit / 64] >> (bit % 64) & 1) == 0) return nullptr;
  IndexPending();
  const size_t mask = store_.slots.size() - 1;
  const uint64_t tag = Tag(hash);
  for (size_t slot = hash & mask;; slot = (slot + 1) & mask) {
    const uint64_t s = store_.slots[slot];
    if (s == 0) return nullptr;
    if (Tag(s) != tag) continue;
    const NavMemoStore::Entry& e = store_.entries[(s & 0xFFFFFFFFull) - 1];
    if (e.kind == kind && SameBits(e.a, a) && SameBits(e.b, b)) return &e;
  }
}

NavMemoStore::Entry& NavMemo::Add(uint8_t kind, const Vec3& a, const Vec3& b, uint64_t hash) {
  const size_t bit = FilterBit(hash);
  filter_[bit / 64] |= uint64_t{1} << (bit % 64);
  NavMemoStore::Entry& e = store_.entries.emplace_back();
  e.kind = kind;
  e.a = a;
  e.b = b;
  e.hash = hash;
  return e;
}

void NavMemo::IndexPending() {
  while (store_.indexed < store_.entries.size()) {
    // Kept at most a quarter full, so a probe always meets an empty slot soon.
    if ((store_.indexed + 1) * 4 > store_.slots.size()) Grow();
    const size_t mask = store_.slots.size() - 1;
    NavMemoStore::Entry& e = store_.entries[store_.indexed];
    size_t s = e.hash & mask;
    while (store_.slots[s] != 0) s = (s + 1) & mask;
    e.slot = static_cast<uint32_t>(s);
    store_.slots[s] = Tag(e.hash) | (store_.indexed + 1);
    ++store_.indexed;
  }
}

void NavMemo::Grow() {
  store_.slots.assign(store_.slots.size() * 2, 0);
  const size_t mask = store_.slots.size() - 1;
  for (size_t i = 0; i < store_.indexed; ++i) {
    NavMemoStore::Entry& e = store_.entries[i];
    size_t s = e.hash & mask;
    while (store_.slots[s] != 0) s = (s + 1) & mask;
    e.slot = static_cast<uint32_t>(s);
    store_.slots[s] = Tag(e.hash) | (i + 1);
  }
}

bool NavMemo::ProjectPoint(const Vec3& point, Vec3& projected) {
  const uint64_t hash = Hash(kProject, point, Vec3{});
  if (const NavMemoStore::Entry* e = Find(kProject, point, Vec3{}, hash)) {
    ++repeats_.projections;
    if (e->answer) projected = e->projected;
    return e->answer;
  }
  Vec3 out{};
  const bool answer = nav_.ProjectPoint(point, out);
  NavMemoStore::Entry& e = Add(kProject, point, Vec3{}, hash);
  e.answer = answer;
  e.projected = out;
  if (answer) projected = out;
  return answer;
}

// A refused path leaves `points` as it was: callers read the points only after a true answer.
bool NavMemo::FindPath(const Vec3& from, const Vec3& to, Route& points) {
  const uint64_t hash = Hash(kPath, from, to);
  if (const NavMemoStore::Entry* e = Find(kPath, from, to, hash)) {
    ++repeats_.pathSearches;
    if (e->answer)
      points.assign(store_.points.begin() + e->first, store_.points.begin() + e->first + e->count);
    return e->answer;
  }
  const bool answer = nav_.FindPath(from, to, points);
  NavMemoStore::Entry& e = Add(kPath, from, to, hash);
  e.answer = answer;
  if (answer) {
    e.first = static_cast<uint32_t>(store_.points.size());
    e.count = static_cast<uint32_t>(points.size());
    store_.points.insert(store_.points.end(), points.begin(), points.end());
  }
  return answer;
}

bool NavMemo::HasLineOfSight(const Vec3& from, const Vec3& to) {
  const uint64_t hash = Hash(kLine, from, to);
  if (const NavMemoStore::Entry* e = Find(kLine, from, to, hash)) {
    ++repeats_.lineTests;
    return e->answer;
  }
  const bool answer = nav_.HasLineOfSight(from, to);
  Add(kLine, from, to, hash).answer = answer;
  return answer;
}

}  // namespace kvr::aps
