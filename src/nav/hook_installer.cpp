// The navmesh hook installer: verifies a navmesh's five path-function slots against the layout
// of the supported game build and swaps its two FindPath slots for FindPathHook.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/log.h"
#include "host/reflection.h"
#include "nav/hook_runtime.h"
#include "nav/navmesh_table.h"

namespace kvr::game {

namespace {

// Offsets of the four engine functions from the game executable's load address in the exact
// build the mod was made for.
constexpr uint64_t kFindPathRva = 0x2CEA790;
constexpr uint64_t kTestPathRva = 0x2D01F50;
constexpr uint64_t kTestHierarchicalRva = 0x2D01B80;
constexpr uint64_t kRaycastRva = 0x2CF70E0;

// Where that build keeps NavDataConfig.DefaultQueryExtent, for a navmesh whose reflection
// does not say.
constexpr int32_t kDumpQueryExtentOffset = 620;

struct Slots {
  uintptr_t findPath, findPathHierarchical, testPath, testHierarchical, raycast;
};

Slots ReadSlots(const host::UObject* navmesh) {
  return {ReadSlot(navmesh, kSlotFindPath), ReadSlot(navmesh, kSlotFindPathHierarchical),
          ReadSlot(navmesh, kSlotTestPath), ReadSlot(navmesh, kSlotTestHierarchical),
          ReadSlot(navmesh, kSlotRaycast)};
}

// FindPath twice, three distinct code pointers, all inside the game's code section.
bool MatchesVerifiedLayout(const Slots& s, const platform::CodeRange& code) {
  auto inCode = [&code](uintptr_t p) { return p >= code.start && p < code.end; };
  return s.findPath == s.findPathHierarchical && inCode(s.findPath) && inCode(s.testPath) &&
         inCode(s.testHierarchical) && inCode(s.raycast) && s.findPath != s.raycast &&
         s.findPath != s.testPath && s.testPath != s.testHierarchical;
}

bool IsExactBuild(const Slots& s, uint64_t load) {
  return s.findPath - load == kFindPathRva && s.testPath - load == kTestPathRva &&
         s.testHierarchical - load == kTestHierarchicalRva && s.raycast - load == kRaycastRva;
}

// Offset of NavDataConfig.DefaultQueryExtent in the navmesh by reflection; -1 when the
// navmesh's class or the config struct does not name it.
int32_t ReflectedQueryExtentOffset(const host::UObject* navmesh) {
  host::IHost* h = host::Host();
  const host::FProperty* config = host::FindPropertyCached(navmesh, L"NavDataConfig");
  if (!h || !config) return -1;
  const host::UStruct* type = h->GetStructPropertyStruct(config);
  if (!type) return -1;
  for (const host::FProperty* field = h->GetFirstProperty(type); field;
       field = h->GetNextFieldAsProperty(field)) {
    if (h->GetFieldName(field) != L"DefaultQueryExtent") continue;
    const int32_t offset = h->GetOffset(config) + h->GetOffset(field);
    return offset >= 0 ? offset : -1;
  }
  return -1;
}

// A box half-size the engine can project with: positive and finite, and not absurdly large
// across (x) or in height (z).
bool UsableExtent(const aps::Vec3& e) {
  return std::isfinite(e.x) && std::isfinite(e.y) && std::isfinite(e.z) && e.x > 0 && e.y > 0 &&
         e.z > 0 && e.x < 10000 && e.z < 10000;
}

// Reads the navmesh's query extent into the record (when usable) and returns the text that
// describes where it came from.
std::string ReadQueryExtent(NavMeshRecord& record) {
  const int32_t reflected = ReflectedQueryExtentOffset(record.navmesh);
  const int32_t offset = reflected >= 0 ? reflected : kDumpQueryExtentOffset;
  aps::Vec3 extent;
  std::memcpy(&extent, reinterpret_cast<const unsigned char*>(record.navmesh) + offset,
              sizeof extent);
  char text[160];
  std::snprintf(text, sizeof text,
                "query extent at +0x%X (%s; dump says +0x%X) = (%.0f, %.0f, %.0f)",
                static_cast<unsigned>(offset), reflected >= 0 ? "reflection" : "dump fallback",
                static_cast<unsigned>(kDumpQueryExtentOffset), extent.x, extent.y, extent.z);
  if (UsableExtent(extent)) record.queryExtent = extent;
  return text;
}

void Refuse(NavMeshRecord& record, std::string status) {
  record.status = std::move(status);
  Log(record.status);
}

unsigned long long Rva(uintptr_t pointer, uint64_t load) {
  return static_cast<unsigned long long>(pointer - load);
}

// The engine's own FindPath for slots that already hold the hook: the one accepted before (by
// this mod object or, across a reload, by the one before it), or, when nothing was accepted in
// this process yet, the exact build's FindPath once the other three slots prove the build.
FindPathFn KnownEngineFindPath(const HookRuntime& rt, const Slots& s) {
  if (const FindPathFn accepted = rt.nav->acceptedFindPath.load(std::memory_order_acquire))
    return accepted;
  const platform::CodeRange& code = rt.codeSection;
  const uint64_t load = code.loadAddress;
  const bool exact = code.start < code.end && s.testPath - load == kTestPathRva &&
                     s.testHierarchical - load == kTestHierarchicalRva &&
                     s.raycast - load == kRaycastRva;
  return exact ? reinterpret_cast<FindPathFn>(load + kFindPathRva) : nullptr;
}

// Both FindPath slots hold the hook already, put there by this mod object or by one that has
// gone (a reload). The record only counts as hooked with the engine's function to call and to
// put back: a hooked record without it would make every query fail and a later restore would
// write null into the slots.
void AdoptHookedSlots(HookRuntime& rt, NavMeshRecord& record, const Slots& s) {
  if (!record.savedFindPath) {
    const FindPathFn engine = KnownEngineFindPath(rt, s);
    if (!engine) {
      char text[200];
      std::snprintf(text, sizeof text,
                    "navmesh %d: FindPath slots hold the hook of an earlier mod object and the "
                    "engine's own FindPath is unknown (left untouched)",
                    record.id);
      return Refuse(record, text);
    }
    NavState& g = *rt.nav;
    if (!g.acceptedFindPath.load()) g.exactBuild = true;  // known by the build only
    g.acceptedFindPath.store(engine, std::memory_order_release);
    record.savedFindPath = record.savedFindPathHierarchical = engine;
  }
  record.hooked = true;
}

}  // namespace

void InstallNavHooks(HookRuntime& rt, NavMeshRecord& record) {
  if (!record.navmesh) return;
  const uintptr_t hook = reinterpret_cast<uintptr_t>(&FindPathHook);
  const Slots s = ReadSlots(record.navmesh);
  if (s.findPath == hook && s.findPathHierarchical == hook) return AdoptHookedSlots(rt, record, s);
  char text[512];
  if (!MatchesVerifiedLayout(s, rt.codeSection)) {
    std::snprintf(text, sizeof text,
                  "navmesh %d: path-function slots do not match the verified layout (left "
                  "untouched)",
                  record.id);
    return Refuse(record, text);
  }
  const uint64_t load = rt.codeSection.loadAddress;
  const bool exact = IsExactBuild(s, load);
  NavState& g = *rt.nav;
  const auto findPath = reinterpret_cast<FindPathFn>(s.findPath);
  const FindPathFn accepted = g.acceptedFindPath.load();
  if (accepted && accepted != findPath) {
    return Refuse(record, "different FindPath implementation (left untouched)");
  }
  g.acceptedFindPath.store(findPath, std::memory_order_release);
  g.exactBuild = exact;
  record.savedFindPath = findPath;
  record.savedFindPathHierarchical = reinterpret_cast<FindPathFn>(s.findPathHierarchical);

  const std::string extentText = ReadQueryExtent(record);
  g.queryExtentStatus = extentText;

  ExchangeSlot(record.navmesh, kSlotFindPath, hook);
  ExchangeSlot(record.navmesh, kSlotFindPathHierarchical, hook);
  record.hooked = true;

  std::snprintf(text, sizeof text,
                "navmesh %d hooked: FindPath RVA 0x%llX (%s), TestPath 0x%llX, TestHierarchical "
                "0x%llX, Raycast 0x%llX; %s",
                record.id, Rva(s.findPath, load),
                exact ? "exact verified build" : "same structure, different build",
                Rva(s.testPath, load), Rva(s.testHierarchical, load), Rva(s.raycast, load),
                extentText.c_str());
  record.status = text;
  Log(record.status);
}

}  // namespace kvr::game
