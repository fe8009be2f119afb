// A simulated engine with one ticking actor, the mod object on top of it the way the game
// drives it, and a fake navmesh whose FindPath slots the tests can hook.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "mod/lifecycle.h"
#include "mod/mod.h"
#include "mod/mod_runtime.h"
#include "nav/navmesh_table.h"
#include "platform/text.h"
#include "sim/forwarding_host.h"
#include "sim/game_classes.h"
#include "test_support.h"

namespace kvr::test {

// Raw memory standing for a navmesh object, with the mod's hook in both FindPath slots and a
// hooked record that saved `engine`.
struct FakeNavMesh {
  alignas(16) unsigned char bytes[0x300] = {};
  host::UObject* Object() { return reinterpret_cast<host::UObject*>(bytes); }
  void HookInto(game::NavMeshTable& table, uintptr_t engine) {
    const auto hook = reinterpret_cast<uintptr_t>(&game::FindPathHook);
    std::memcpy(bytes + game::kSlotFindPath, &hook, 8);
    std::memcpy(bytes + game::kSlotFindPathHierarchical, &hook, 8);
    game::NavMeshRecord& r = table[Object()];
    r.navmesh = Object();
    r.hooked = true;
    r.savedFindPath = r.savedFindPathHierarchical = reinterpret_cast<game::FindPathFn>(engine);
  }
  uintptr_t Slot(uint32_t offset) { return game::ReadSlot(Object(), offset); }
};

class ModFixture : public ::testing::Test {
 protected:
  ModFixture() : classes_(sim::RegisterGameClasses(world_)), host_(world_) {
    world_.Spawn(*classes_.actor, L"Ticker", {.ticks = true});
    host::SetHost(&host_);
  }
  ~ModFixture() override {
    mod_.reset();
    host::SetHost(nullptr);
    SetLogDevices(nullptr);
  }

  mod::ModRuntime& StartMod() {
    mod_ = std::make_unique<mod::KorvathPalimarNeuralNav>();
    mod::ModRuntime& rt = mod::ModRuntime::Get();
    mod::StartUp(rt, dir_.Path().wstring());
    return rt;
  }
  void Tick(int frames, double seconds = 0.1) {
    for (int i = 0; i < frames; ++i) world_.Tick(seconds);
  }
  std::vector<std::string> Lines() {
    std::vector<std::string> out;
    for (const std::wstring& line : world_.Output().Lines())
      out.push_back(platform::WideToUtf8(line));
    return out;
  }
  // How often the mod logged exactly this message.
  int Count(const std::string& message) {
    int n = 0;
    for (const std::string& line : Lines()) n += line == "[KorvathNeuralNav] " + message + "\n";
    return n;
  }

  TempDir dir_;
  sim::World world_;
  sim::GameClasses classes_;
  sim::ForwardingHost host_;
  std::unique_ptr<mod::KorvathPalimarNeuralNav> mod_;
};

}  // namespace kvr::test
