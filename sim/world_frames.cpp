// Frames, the game thread, shutdown and the engine allocator of the simulated engine.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

#include "sim/sim_clock.h"
#include "sim/world.h"

namespace kvr::sim {

int World::AddFrameHook(std::function<void(World&, double)> hook) {
  std::lock_guard<std::mutex> lock(hooksMutex_);
  frameHooks_.emplace_back(nextHookId_, std::move(hook));
  return nextHookId_++;
}

void World::RemoveFrameHook(int id) {
  std::lock_guard<std::mutex> frame(framesMutex_);
  std::lock_guard<std::mutex> lock(hooksMutex_);
  std::erase_if(frameHooks_, [id](const auto& entry) { return entry.first == id; });
}

double World::SimulatedSeconds() const {
  return static_cast<double>(simulatedNanoseconds_.load()) * 1e-9;
}

void World::Tick(double seconds) {
  std::lock_guard<std::mutex> frame(framesMutex_);
  const auto step = static_cast<uint64_t>(std::llround(std::max(seconds, 0.0) * 1e9));
  // Engine work charged during the last frame already moved the clock on; the frame's own
  // length absorbs it (a frame that overran pushes the next one back instead).
  const uint64_t charged = chargedNs_.load();
  const uint64_t absorbed = std::min(charged, step);
  chargedNs_.store(charged - absorbed);
  simulatedNanoseconds_.fetch_add(step - absorbed);
  if (ownsClock_) AdvanceSimulatedClock(step - absorbed);
  frames_.fetch_add(1);
  struct FrameThread {
    std::atomic<std::thread::id>& id;
    explicit FrameThread(std::atomic<std::thread::id>& i) : id(i) {
      id.store(std::this_thread::get_id());
    }
    ~FrameThread() { id.store(std::thread::id()); }
  } onThisThread(frameThread_);
  CollectGarbage();
  std::vector<std::pair<int, std::function<void(World&, double)>>> hooks;
  {
    std::lock_guard<std::mutex> lock(hooksMutex_);
    hooks = frameHooks_;
  }
  for (auto& hook : hooks) hook.second(*this, seconds);
  TickActors(seconds);
}

void World::ChargeEngineTime(uint64_t nanoseconds) {
  if (nanoseconds == 0 || frameThread_.load() != std::this_thread::get_id()) return;
  chargedNs_.fetch_add(nanoseconds);
  chargedTotalNs_.fetch_add(nanoseconds);
  simulatedNanoseconds_.fetch_add(nanoseconds);
  if (ownsClock_) AdvanceSimulatedClock(nanoseconds);
}

void World::SetNavigationCosts(const NavigationCosts& costs) {
  projectCostNs_.store(costs.projectNs);
  findPathCostNs_.store(costs.findPathNs);
  raycastCostNs_.store(costs.raycastNs);
}

NavigationCosts World::Costs() const {
  return {projectCostNs_.load(), findPathCostNs_.load(), raycastCostNs_.load()};
}

void World::SetNavigation(aps::INav* nav) {
  levelNav_.store(dynamic_cast<LevelNavigation*>(nav));
  nav_.store(nav);
}

int32_t World::NextPathPointSlack() {
  const int32_t slack = pathSlack_.load();
  if (slack >= 0) return slack;
  return pathsMade_.fetch_add(1) % 2 == 1 ? kReusedPathSlack : 0;
}

void World::TickActors(double seconds) {
  std::vector<UObject*> actors;
  {
    std::lock_guard<std::mutex> lock(objectsMutex_);
    for (const Slot& slot : slots_) {
      if (slot.memory && slot.ticks && !slot.pendingKill && !slot.hidden)
        actors.push_back(reinterpret_cast<UObject*>(slot.memory));
    }
  }
  // Memory of an actor destroyed meanwhile stays valid until the next frame collects it; such
  // an actor is simply skipped.
  alignas(16) unsigned char block[kMaxTickParams];
  for (UObject* actor : actors) {
    if (!IsAlive(actor)) continue;
    Function* tick = Header(actor)->cls->FindFunctionInChain(L"ReceiveTick");
    if (!tick || tick->parmsSize > sizeof(block)) continue;
    std::memset(block, 0, tick->parmsSize);
    if (auto* delta = NativeCall{*this, actor, *tick, block}.Param<float>(L"DeltaSeconds")) {
      *delta = static_cast<float>(seconds);
    }
    ProcessEvent(actor, reinterpret_cast<host::UFunction*>(tick), block);
  }
}

bool World::StartGameThread(const GameThreadOptions& options) {
  if (gameThread_.joinable()) return false;
  {
    std::lock_guard<std::mutex> lock(objectsMutex_);
    if (shutDown_) return false;
  }
  stopGameThread_.store(false);
  gameThread_ = std::thread([this, options] { GameThreadLoop(options); });
  return true;
}

void World::StopGameThread() {
  stopGameThread_.store(true);
  if (gameThread_.joinable() && gameThread_.get_id() != std::this_thread::get_id()) {
    gameThread_.join();
  }
}

void World::GameThreadLoop(GameThreadOptions options) {
  const auto frame = std::chrono::duration<double>(options.frameSeconds);
  auto next = std::chrono::steady_clock::now();
  while (!stopGameThread_.load()) {
    Tick(options.frameSeconds);
    if (options.realTime) {
      next += std::chrono::duration_cast<std::chrono::steady_clock::duration>(frame);
      std::this_thread::sleep_until(next);
    } else {
      std::this_thread::yield();
    }
  }
}

void World::Shutdown() {
  StopGameThread();
  {
    std::lock_guard<std::mutex> lock(objectsMutex_);
    if (shutDown_) return;
    shutDown_ = true;
  }
  {
    std::lock_guard<std::recursive_mutex> lock(listenersMutex_);
    const std::vector<host::IDeleteListener*> snapshot = listeners_;
    for (host::IDeleteListener* listener : snapshot) {
      if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) continue;
      listener->OnUObjectArrayShutdown();
    }
  }
  {
    std::lock_guard<std::mutex> lock(objectsMutex_);
    for (Slot& slot : slots_) {
      if (!slot.memory) continue;
      byPath_.erase(slot.path);
      pendingFree_.push_back(slot.memory);
      slot = Slot{};
    }
    liveIndex_.clear();
  }
  {
    std::lock_guard<std::mutex> lock(classesMutex_);
    for (const auto& c : classes_) c->defaultObject = nullptr;
  }
  CollectGarbage();
}

void* World::Malloc(size_t size, uint32_t alignment) {
  return allocatorEnabled_.load() ? EngineMalloc(size, alignment) : nullptr;
}

void* World::EngineMalloc(size_t size, uint32_t alignment) {
  if (alignment > kEngineAllocatorAlignment) return nullptr;
  if (size > (size_t{1} << 40)) return nullptr;
  void* block =
      ::operator new (size ? size : 1, std::align_val_t{kEngineAllocatorAlignment}, std::nothrow);
  if (!block) return nullptr;
  std::lock_guard<std::mutex> lock(allocationsMutex_);
  allocations_.emplace(block, size);
  liveAllocations_.fetch_add(1);
  return block;
}

void World::Free(void* block) {
  if (!block) return;
  {
    std::lock_guard<std::mutex> lock(allocationsMutex_);
    if (allocations_.erase(block) == 0) {
      badFrees_.fetch_add(1);
      return;
    }
    liveAllocations_.fetch_sub(1);
  }
  ::operator delete (block, std::align_val_t{kEngineAllocatorAlignment});
}

}  // namespace kvr::sim
