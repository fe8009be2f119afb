// The simulated engine: one world with its object array, reflected classes, ProcessEvent, the
// delete listeners, an engine allocator and a game thread that ticks actors.
//
// Driving it:
//   World world;                         // core classes only (Object, Class, Vector, ...)
//   GameClasses game = RegisterGameClasses(world);   // the game's classes (game_classes.h)
//   host::SetHost(&world);               // what the mod sees as its host
//   ThugObjects t = SpawnThug(world, game, *game.baseAIController, *game.thug, L"Thug_1", at);
//   world.SetNavigation(&levelNav);      // the level's INav (navigation system, path functions)
//   UObject* nm = SpawnEngineNavMesh(world, game, L"RecastNavMesh-Default");  // path_finding.h
//   world.Tick(1.0 / 60);                // one frame on the calling thread, or
//   world.StartGameThread({});           // frames on a thread of its own until StopGameThread
//   world.Destroy(t.pawn);               // any thread; listeners hear of it on that thread
//   world.Shutdown();                    // object-array shutdown notice, then everything goes
//
// Thread rules: classes are defined before the game thread starts. Spawn, Destroy, FindAllOf,
// FindObject, ProcessEvent and the listener calls may come from any thread; an object spawned
// off the game thread is spawned hidden and revealed once its values are written (SpawnThug
// does), or the game thread could read it half built. Memory of a
// destroyed object stays valid until the next frame starts (or Shutdown), so a frame already
// running never touches freed memory. One frame runs at a time.
#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "aps/aps.h"
#include "host/api/host.h"
#include "sim/name_table.h"
#include "sim/nav/level_navigation.h"
#include "sim/object_model.h"
#include "sim/output_device.h"

namespace kvr::sim {

using host::UObject;

struct SpawnOptions {
  uint32_t flags = 0;
  bool ticks = false;      // receives ReceiveTick every frame
  std::wstring outerPath;  // "" = the world's level
  // Under construction until Reveal: FindAllOf, FindObject and the frame's ticking pass it by,
  // as the engine's object iterators pass by an object still being built. The values written
  // before Reveal are then seen whole by any thread that finds the object.
  bool hidden = false;
};

// The engine allocator aligns every block to this; larger alignments are refused.
inline constexpr uint32_t kEngineAllocatorAlignment = 16;

// ReceiveTick parameter blocks larger than this are not ticked.
inline constexpr size_t kMaxTickParams = 256;

// What the engine's navigation work costs the frame that asks for it, in simulated time. The
// simulated clock otherwise stands still within a frame; with these, time spent planning paths
// on the game thread shows on the clock as it would in the game (queries on other threads run
// beside the frame and cost it nothing).
struct NavigationCosts {
  uint64_t projectNs = 3'000;    // K2_ProjectPointToNavigation
  uint64_t findPathNs = 40'000;  // a FindPath through a navmesh slot
  uint64_t raycastNs = 6'000;    // NavigationRaycast and the Raycast slot
};

// The point arrays of engine paths: every other path gets room for this many more points than
// it holds (an array the engine reused), the others fit exactly.
inline constexpr int32_t kAlternatingPathSlack = -1;
inline constexpr int32_t kReusedPathSlack = 16;

struct GameThreadOptions {
  double frameSeconds = 1.0 / 60.0;  // simulated time per frame
  bool realTime = false;             // also wait for the wall clock between frames
};

class World final : public host::IHost {
 public:
  // `useSimulatedClock` makes SteadySeconds read simulated time, advanced by Tick (one clock per
  // process: worlds alive together advance it together).
  explicit World(bool useSimulatedClock = true);
  ~World() override;
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // --- reflection setup (before the game thread starts) --------------------------------------
  Struct& DefineStruct(std::wstring_view package, std::wstring_view name);
  // The class starts with the super's layout (the object header when there is none).
  Class& DefineClass(std::wstring_view package, std::wstring_view name, Class* super);
  // A function on the class; add its parameters, then Seal() it (or set parmsSize by hand).
  Function& DefineFunction(Class& owner, std::wstring_view name, NativeBody body = {});
  // Creates the class default object "Default__<name>" (flag 0x10) from the class's layout.
  UObject* CreateDefaultObject(Class& cls);
  Class* FindClass(std::wstring_view name) const;
  Struct* FindStruct(std::wstring_view name) const;
  Struct& VectorStruct() { return *vector_; }
  Struct& RotatorStruct() { return *rotator_; }
  const NameTable& Names() const { return names_; }
  NameTable& Names() { return names_; }

  // --- objects --------------------------------------------------------------------------------
  // A zeroed block of the class's size; values after the header start as the class default
  // object's (when it has one). Null after Shutdown.
  UObject* Spawn(Class& cls, std::wstring_view name, const SpawnOptions& options = {});
  // Removes the object from the array and notifies the delete listeners on this thread; false
  // when it is not a live object of this world.
  bool Destroy(UObject* object);
  // Ends the construction of an object spawned hidden.
  void Reveal(UObject* object);
  bool IsAlive(const UObject* object) const;
  // The live object at this internal index, or null.
  UObject* ObjectAt(int32_t index) const;
  size_t LiveObjectCount() const;
  std::wstring PathOf(const UObject* object) const;
  void SetTicking(UObject* object, bool ticks);
  // What the engine does to an actor it destroys before garbage collection frees it: the
  // object stays in memory and in the array, but FindAllOf no longer reports it and it no
  // longer ticks. Destroy frees it later (and sends the delete notices).
  void MarkPendingKill(UObject* object);
  bool IsPendingKill(const UObject* object) const;
  // The value's address in the object by reflected name (class chain), null when missing.
  template <typename T>
  T* Field(UObject* object, std::wstring_view name) const;
  bool SetBool(UObject* object, std::wstring_view name, bool value) const;
  bool GetBool(const UObject* object, std::wstring_view name) const;

  // --- frames ---------------------------------------------------------------------------------
  // One frame on the calling thread: the clock advances, memory of destroyed objects is freed,
  // the frame hooks run, then every ticking actor gets ReceiveTick through ProcessEvent.
  void Tick(double seconds);
  // Runs before the actors tick, every frame, on the frame's thread (gameplay hangs off this).
  // The id removes it again.
  int AddFrameHook(std::function<void(World&, double seconds)> hook);
  // Waits for a running frame to end, so the hook never runs afterwards; not from inside a
  // frame.
  void RemoveFrameHook(int id);
  bool StartGameThread(const GameThreadOptions& options);
  void StopGameThread();
  uint64_t FrameCount() const { return frames_.load(); }
  double SimulatedSeconds() const;

  // Tells the listeners the object array is going away, then frees every object. Idempotent.
  void Shutdown();

  // --- level navigation -----------------------------------------------------------------------
  // The level's navigation, used by the navigation system's native functions; null = no level.
  // A LevelNavigation (DetourNav) also gives projection within the asked box and partial paths.
  void SetNavigation(aps::INav* nav);
  aps::INav* Navigation() const { return nav_.load(); }
  LevelNavigation* LevelNav() const { return levelNav_.load(); }

  // Charges engine work to the simulated clock when it runs on the thread of the current frame.
  void ChargeEngineTime(uint64_t nanoseconds);
  // Everything charged on the game thread since the world was made.
  uint64_t ChargedEngineNanoseconds() const { return chargedTotalNs_.load(); }
  void SetNavigationCosts(const NavigationCosts& costs);
  NavigationCosts Costs() const;
  // Extra capacity of the next path's point array (kAlternatingPathSlack by default).
  void SetPathPointSlack(int32_t slack) { pathSlack_.store(slack); }
  int32_t NextPathPointSlack();
  void SetLevelPath(std::wstring path) { levelPath_ = std::move(path); }

  // --- engine allocator and test knobs --------------------------------------------------------
  // Whether the mod is offered the allocator; the engine's own allocations (EngineMalloc) go on.
  void SetEngineAllocatorEnabled(bool enabled) { allocatorEnabled_.store(enabled); }
  void* EngineMalloc(size_t size, uint32_t alignment);
  int64_t LiveAllocations() const { return liveAllocations_.load(); }
  // Free calls with a block this allocator never handed out (or freed twice); ignored.
  int64_t BadFrees() const { return badFrees_.load(); }
  // FindAllOf answers with a null entry first and last, as the engine may.
  void SetNullsInFindAllOf(bool on) { nullsInFindAllOf_.store(on); }
  // The devices the host offers the mod; by default one device that keeps every line.
  void SetOutputDevices(const LogDeviceList* devices);
  CapturingOutputDevice& Output() { return output_; }

  // --- IHost ----------------------------------------------------------------------------------
  void RegisterProcessEventPreCallback(host::ProcessEventCallback callback) override;
  const LogDeviceList* OutputDevices() override;
  // The simulated clock when this world runs on it (a mod in another module reads it from here).
  ClockFn SteadyClock() override;
  uint32_t FindNameIndex(std::wstring_view text) override { return names_.Find(text); }
  uint32_t GetNameIndex(const UObject* object) override;
  void AddUObjectDeleteListener(host::IDeleteListener* listener) override;
  void RemoveUObjectDeleteListener(host::IDeleteListener* listener) override;
  void FindAllOf(std::wstring_view className, std::vector<UObject*>& out) override;
  UObject* FindObject(std::wstring_view path) override;
  uint32_t GetObjectFlags(const UObject* object) override;
  int32_t GetInternalIndex(const UObject* object) override;
  host::UClass* GetClassPrivate(const UObject* object) override;
  std::wstring GetName(const UObject* object) override;
  host::FProperty* GetPropertyByNameInChain(const UObject* object, std::wstring_view name) override;
  host::UFunction* GetFunctionByNameInChain(const UObject* object, std::wstring_view name) override;
  uint16_t GetParmsSize(const host::UFunction* function) override;
  host::FProperty* GetFirstProperty(const host::UStruct* structure) override;
  host::FProperty* GetNextFieldAsProperty(const host::FProperty* property) override;
  std::wstring GetFieldName(const host::FProperty* property) override;
  int32_t GetOffset(const host::FProperty* property) override;
  uint8_t GetBoolByteOffset(const host::FProperty* property) override;
  uint8_t GetBoolFieldMask(const host::FProperty* property) override;
  host::UStruct* GetStructPropertyStruct(const host::FProperty* property) override;
  void ProcessEvent(UObject* object, host::UFunction* function, void* params) override;
  bool HasEngineAllocator() override { return allocatorEnabled_.load(); }
  void* Malloc(size_t size, uint32_t alignment) override;
  void Free(void* block) override;

 private:
  struct Slot {
    unsigned char* memory = nullptr;  // null = free slot
    std::wstring path;
    bool ticks = false;
    bool pendingKill = false;
    bool hidden = false;
  };
  using Callbacks = std::vector<host::ProcessEventCallback>;

  void InitHeader(ObjectHeader& header, Class* cls, std::wstring_view name, uint32_t flags);
  UObject* AddToArray(unsigned char* memory, std::wstring path, const SpawnOptions& options);
  int32_t LiveSlotOf(const UObject* object) const;  // objectsMutex_ held
  void NotifyDeleted(const UObject* object, int32_t index);
  void CollectGarbage();
  void TickActors(double seconds);
  void GameThreadLoop(GameThreadOptions options);

  NameTable names_;
  bool ownsClock_ = false;

  mutable std::mutex classesMutex_;
  std::vector<std::unique_ptr<Struct>> structs_;
  std::vector<std::unique_ptr<Class>> classes_;
  Class* classClass_ = nullptr;
  Class* structClass_ = nullptr;
  Class* functionClass_ = nullptr;
  Struct* vector_ = nullptr;
  Struct* rotator_ = nullptr;

  mutable std::mutex objectsMutex_;
  std::vector<Slot> slots_;
  std::vector<int32_t> freeSlots_;
  std::vector<int32_t> releasedSlots_;                  // reusable after the next collection
  std::vector<unsigned char*> pendingFree_;             // destroyed, freed at the next collection
  std::unordered_map<const void*, int32_t> liveIndex_;  // memory -> slot, for live objects
  std::unordered_map<std::wstring, UObject*> byPath_;
  std::wstring levelPath_ = L"/Game/Maps/Arena.Arena:PersistentLevel";
  bool shutDown_ = false;

  std::recursive_mutex listenersMutex_;
  std::vector<host::IDeleteListener*> listeners_;

  std::mutex callbacksMutex_;
  std::shared_ptr<const Callbacks> callbacks_ = std::make_shared<Callbacks>();

  std::mutex hooksMutex_;
  std::vector<std::pair<int, std::function<void(World&, double)>>> frameHooks_;
  int nextHookId_ = 1;

  std::mutex framesMutex_;  // one frame at a time
  std::thread gameThread_;
  std::atomic<bool> stopGameThread_{false};
  std::atomic<uint64_t> frames_{0};
  std::atomic<uint64_t> simulatedNanoseconds_{0};

  std::atomic<aps::INav*> nav_{nullptr};
  std::atomic<LevelNavigation*> levelNav_{nullptr};
  std::atomic<std::thread::id> frameThread_{};  // the thread inside Tick, none between frames
  std::atomic<uint64_t> chargedNs_{0};          // charged this frame, not yet absorbed
  std::atomic<uint64_t> chargedTotalNs_{0};
  std::atomic<uint64_t> projectCostNs_{NavigationCosts{}.projectNs};
  std::atomic<uint64_t> findPathCostNs_{NavigationCosts{}.findPathNs};
  std::atomic<uint64_t> raycastCostNs_{NavigationCosts{}.raycastNs};
  std::atomic<int32_t> pathSlack_{kAlternatingPathSlack};
  std::atomic<uint64_t> pathsMade_{0};
  std::atomic<bool> allocatorEnabled_{true};
  std::atomic<int64_t> liveAllocations_{0};
  std::mutex allocationsMutex_;
  std::unordered_map<void*, size_t> allocations_;
  std::atomic<int64_t> badFrees_{0};
  std::atomic<bool> nullsInFindAllOf_{false};
  CapturingOutputDevice output_;
  LogDeviceList defaultDevices_{&output_};
  std::atomic<const LogDeviceList*> devices_{&defaultDevices_};
};

template <typename T>
T* World::Field(UObject* object, std::wstring_view name) const {
  if (!object) return nullptr;
  const Property* p = Header(object)->cls ? Header(object)->cls->FindInChain(name) : nullptr;
  return p ? reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(object) + p->offset) : nullptr;
}

}  // namespace kvr::sim
