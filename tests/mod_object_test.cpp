// The mod object as the MSVC-built host sees it: its members at the host's offsets, its table
// in the host's slot order, driven only through that table; the MSVC allocator's bookkeeping
// the binding relies on to give host memory back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <stdexcept>

#include "mod/mod.h"
#include "host/msvc_std.h"
#include "mod_fixture.h"

namespace kvr {
namespace {

using mod::CppUserModBase;
using mod::HostVTable;

static_assert(sizeof(CppUserModBase) == CppUserModBase::kHostObjectSize + sizeof(void*));

class ModObject : public test::ModFixture {};

TEST_F(ModObject, TheHostFindsItsMembersAndSlotsWhereItsOwnClassHasThem) {
  auto* mod = new mod::KorvathPalimarNeuralNav();
  auto* raw = reinterpret_cast<unsigned char*>(mod);
  const auto* table = *reinterpret_cast<const HostVTable* const*>(raw);
  EXPECT_EQ(table->destroy, &mod::detail::DestroyMod<mod::KorvathPalimarNeuralNav>);
  EXPECT_EQ(table->onUpdate, &mod::detail::UpdateMod<mod::KorvathPalimarNeuralNav>);
  EXPECT_EQ(table->onUnrealInit, &mod::detail::UnrealInitMod<mod::KorvathPalimarNeuralNav>);
  for (HostVTable::Event slot : table->others) EXPECT_EQ(slot, &mod::detail::IgnoreHostEvent);

  const auto text = [raw](size_t offset) {
    return msvc::Text(*reinterpret_cast<const msvc::WString*>(raw + offset));
  };
  EXPECT_EQ(text(32), u"KorvathPalimarNeuralNav");  // long: on the heap
  EXPECT_EQ(text(64), u"1.0.1");                    // short: in place
  EXPECT_EQ(text(96),
            u"Adaptive Pathfinding System arcs + evolving neural-network tactics for Palimar "
            u"Thugs");
  EXPECT_EQ(text(128), u"Dunmere (Halvenor)");
  EXPECT_EQ(text(160), u"");
  const auto* tabs = reinterpret_cast<const msvc::Vector<void*>*>(raw + 8);
  EXPECT_EQ(tabs->first, nullptr);
  EXPECT_EQ(*reinterpret_cast<void* const*>(raw + 192), nullptr) << "no event dispatcher";

  // The host's update and every other event it may send are no-ops; uninstall's deleting
  // destructor shuts down and frees what start_mod allocated (AddressSanitizer checks the free).
  mod::HostCallOnUpdate(mod);
  for (HostVTable::Event slot : table->others) slot(mod);
  EXPECT_TRUE(Lines().empty());
  mod::ModRuntime& rt = mod::ModRuntime::Get();
  mod::HostDelete(mod);
  EXPECT_TRUE(rt.shuttingDown);
}

// A mod class of the tests' own, to see each slot reach the member it stands for.
extern const HostVTable kProbeTable;

struct ProbeMod final : mod::CppUserModBase {
  explicit ProbeMod(int& destroyed) : CppUserModBase(kProbeTable), destroyed_(destroyed) {}
  ~ProbeMod() { ++destroyed_; }
  void on_update() { ++updates; }
  void on_unreal_init() {
    ++inits;
    if (throwOnInit) throw std::runtime_error("start-up failed");
  }
  int updates = 0;
  int inits = 0;
  bool throwOnInit = false;
  int& destroyed_;
};

const HostVTable kProbeTable = mod::MakeHostVTable<ProbeMod>();

TEST(ModObjectTable, SlotsReachTheirMembersAndNothingUnwindsIntoTheHost) {
  int destroyed = 0;
  auto* probe = new ProbeMod(destroyed);
  mod::HostCallOnUpdate(probe);
  mod::HostCallOnUnrealInit(probe);
  mod::HostCallOnUpdate(probe);
  EXPECT_EQ(probe->updates, 2);
  EXPECT_EQ(probe->inits, 1);
  probe->throwOnInit = true;
  mod::HostCallOnUnrealInit(probe);  // the exception stops at the slot
  EXPECT_EQ(probe->inits, 2);
  mod::HostDelete(probe);
  EXPECT_EQ(destroyed, 1);

  // Without the free flag, slot 0 only destroys: the memory stays the caller's.
  alignas(ProbeMod) unsigned char storage[sizeof(ProbeMod)];
  auto* inPlace = new (storage) ProbeMod(destroyed);
  EXPECT_EQ(mod::TableOf(inPlace).destroy(inPlace, 0), inPlace);
  EXPECT_EQ(destroyed, 2);
}

TEST(ModObjectWithoutHost, StaysInertAndSaysSo) {
  host::SetHost(nullptr);
  testing::internal::CaptureStderr();
  {
    mod::KorvathPalimarNeuralNav mod;
    EXPECT_FALSE(mod.Hosted());
    mod::HostCallOnUnrealInit(&mod);
    EXPECT_FALSE(mod::ModRuntime::Get().initialized) << "no start-up, so no files";
  }
  const std::string said = testing::internal::GetCapturedStderr();
#if !defined(_WIN32)  // on Windows the line goes to the debugger output (MsvcHost tests read it)
  EXPECT_NE(said.find("[KorvathNeuralNav] no mod host in this process (neither UE4SS.dll nor the "
                      "simulator's host interface): the mod stays inactive"),
            std::string::npos)
      << said;
#endif
}

TEST(MsvcLayout, LargeBlocksAreFoundThroughTheWordBelowThem) {
  alignas(64) unsigned char arena[256] = {};
  const uintptr_t start = reinterpret_cast<uintptr_t>(arena) + 8;
  const uintptr_t user = (start + msvc::kBigAllocationOverhead) & ~uintptr_t{31};
  auto* block = reinterpret_cast<void*>(user);
  reinterpret_cast<uintptr_t*>(block)[-1] = start;
  EXPECT_EQ(msvc::AllocatorBlockStart(block, 4096), reinterpret_cast<void*>(start));
  EXPECT_EQ(msvc::AllocatorBlockStart(block, 4095), block) << "small blocks are their own start";
  EXPECT_EQ(msvc::AllocatorBlockStart(nullptr, 9000), nullptr);

  // A word that cannot be the allocator's: the block is better kept than freed wrongly.
  reinterpret_cast<uintptr_t*>(block)[-1] = user + 8;
  EXPECT_EQ(msvc::AllocatorBlockStart(block, 4096), nullptr);
  reinterpret_cast<uintptr_t*>(block)[-1] = user - msvc::kBigAllocationOverhead - 1;
  EXPECT_EQ(msvc::AllocatorBlockStart(block, 4096), nullptr);
  reinterpret_cast<uintptr_t*>(block)[-1] = user - 4;
  EXPECT_EQ(msvc::AllocatorBlockStart(block, 4096), nullptr);
}

TEST(MsvcLayout, StringsKeepSevenCharactersInPlaceAndMoreOnTheHeap) {
  msvc::WString s{};
  s.capacity = msvc::kWStringLocalCapacity;
  s.size = 3;
  s.local[0] = u'a', s.local[1] = u'b', s.local[2] = u'c';
  EXPECT_FALSE(msvc::OnHeap(s));
  EXPECT_EQ(msvc::Text(s), u"abc");
  char16_t text[] = u"a longer text";
  s.heap = text;
  s.size = 13;
  s.capacity = 15;
  EXPECT_TRUE(msvc::OnHeap(s));
  EXPECT_EQ(msvc::Text(s), u"a longer text");
  EXPECT_EQ(msvc::HeapBytes(s), 32u);
}

}  // namespace
}  // namespace kvr
