// The binding over the real mod host, tested in this process against the stand-in UE4SS.dll
// (built for the MSVC C++ ABI, exporting the host's decorated names) with the simulated engine
// behind it. Every answer is checked against the engine's own.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <set>
#include <tuple>

#include "../msvc_host/engine_backend.h"
#include "../msvc_host/standin_api.h"
#include "host/log.h"
#include "msvc_host_run.h"
#include "sim/game_classes.h"
#include "sim/world.h"
#include "test_support.h"
#include "ue4ss/exports.h"
#include "ue4ss/win32/ue4ss_host.h"

namespace kvr::ue4ss {
namespace {

// One stand-in host per process, as there is one UE4SS.dll in a game; the engine behind it
// lives as long.
struct HostedEngine {
  sim::World world;
  sim::GameClasses classes = sim::RegisterGameClasses(world);
  msvc_host::EngineBackend backend{world};
  msvc_host::StandinApi api;
  std::unique_ptr<Ue4ssHost> binding;
  std::string error;

  HostedEngine() {
    if (!api.Load(platform::WideToUtf8((test::MsvcHostDir() / "full" / "UE4SS.dll").wstring()),
                  error))
      return;
    api.start(backend.Table(), 0, 1);
    binding = std::make_unique<Ue4ssHost>(api.module);
  }
};

HostedEngine& Hosted() {
  static HostedEngine* hosted = new HostedEngine();  // the host keeps pointers into it
  return *hosted;
}

class Ue4ssBinding : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Hosted().binding) << Hosted().error;
    api().setThrowing(0);
    api().setGMalloc(1);
  }
  void TearDown() override {
    api().setThrowing(0);
    SetLogDevices(nullptr);
  }
  Ue4ssHost& host() { return *Hosted().binding; }
  sim::World& world() { return Hosted().world; }
  const sim::GameClasses& classes() { return Hosted().classes; }
  const msvc_host::StandinApi& api() { return Hosted().api; }
  int64_t HeapUnexplained() { return api().Report(false).heap_unexplained; }
};

// The names the stand-in exports, read from its export directory.
std::set<std::string> DecoratedExports(void* module) {
  auto* base = static_cast<const unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
  const auto* exports = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + dir.VirtualAddress);
  const auto* names = reinterpret_cast<const DWORD*>(base + exports->AddressOfNames);
  std::set<std::string> out;
  for (DWORD i = 0; i < exports->NumberOfNames; ++i) {
    const std::string name = reinterpret_cast<const char*>(base + names[i]);
    if (name.rfind('?', 0) == 0) out.insert(name);
  }
  return out;
}

TEST_F(Ue4ssBinding, LooksUpExactlyTheNamesTheCompilerGivesTheHostsDeclarations) {
  std::set<std::string> table;
  for (size_t i = 0; i < kExportCount; ++i) table.insert(InfoOf(static_cast<Export>(i)).decorated);
  EXPECT_EQ(table.size(), kExportCount) << "no name twice";
  EXPECT_EQ(table, DecoratedExports(api().module));
  EXPECT_TRUE(host().Gaps().empty()) << host().Gaps().front();
}

TEST_F(Ue4ssBinding, ObjectQueriesAnswerAsTheEngineDoes) {
  host::UObject* actor = world().Spawn(*classes().actor, L"Probe_Actor");
  EXPECT_EQ(host().FindNameIndex(L"ReceiveTick"), world().FindNameIndex(L"ReceiveTick"));
  EXPECT_NE(host().FindNameIndex(L"ReceiveTick"), 0u);
  EXPECT_EQ(host().FindNameIndex(L"NoSuchNameAnywhere"), 0u) << "find-only: never added";
  EXPECT_EQ(world().FindNameIndex(L"NoSuchNameAnywhere"), 0u);
  EXPECT_EQ(host().GetNameIndex(actor), world().GetNameIndex(actor));
  EXPECT_EQ(host().GetInternalIndex(actor), world().GetInternalIndex(actor));
  EXPECT_EQ(host().GetClassPrivate(actor), world().GetClassPrivate(actor));
  host::UObject* defaults = classes().navigationSystemDefault;
  EXPECT_EQ(host().GetObjectFlags(defaults), world().GetObjectFlags(defaults));
  EXPECT_NE(host().GetObjectFlags(defaults) & host::kObjectFlagClassDefault, 0u);
  EXPECT_EQ(host().FindObject(sim::kNavigationSystemPath), defaults);
  EXPECT_EQ(host().FindObject(L"/Script/Nowhere.Nothing"), nullptr);

  // Null objects answer the neutral values without reaching the host.
  EXPECT_EQ(host().GetNameIndex(nullptr), 0u);
  EXPECT_EQ(host().GetInternalIndex(nullptr), -1);
  EXPECT_EQ(host().GetClassPrivate(nullptr), nullptr);
  EXPECT_EQ(host().GetName(nullptr), L"");
  world().Destroy(actor);
}

TEST_F(Ue4ssBinding, NamesOfAnyLengthComeBackAndTheirBlocksGoBackToTheHostHeap) {
  const int64_t handedBefore = api().Report(false).blocks_handed_over;
  // 7 characters stay in the string; 8 need a block; 2100 need a block of over 4096 bytes,
  // which MSVC's allocator aligns and offsets.
  for (const size_t length : {size_t{7}, size_t{8}, size_t{40}, size_t{2100}}) {
    const std::wstring name = L"N" + std::wstring(length - 1, L'x');
    host::UObject* object = world().Spawn(*classes().actor, name);
    EXPECT_EQ(host().GetName(object), name);
    world().Destroy(object);
  }
  EXPECT_EQ(api().Report(false).blocks_handed_over, handedBefore + 3);
  EXPECT_EQ(HeapUnexplained(), 0);
}

TEST_F(Ue4ssBinding, ReflectionReadsThroughTheHostsReferences) {
  host::UObject* system = classes().navigationSystemDefault;
  host::UFunction* function = host().GetFunctionByNameInChain(system, L"NavigationRaycast");
  ASSERT_EQ(function, world().GetFunctionByNameInChain(system, L"NavigationRaycast"));
  EXPECT_EQ(host().GetParmsSize(function), world().GetParmsSize(function));
  int parameters = 0;
  for (host::FProperty* p = host().GetFirstProperty(host::AsStruct(function)); p;
       p = host().GetNextFieldAsProperty(p), ++parameters) {
    EXPECT_EQ(host().GetFieldName(p), world().GetFieldName(p));  // "WorldContextObject": a block
    EXPECT_EQ(host().GetOffset(p), world().GetOffset(p));
    EXPECT_EQ(host().GetStructPropertyStruct(p), world().GetStructPropertyStruct(p));
  }
  EXPECT_EQ(parameters, 7);

  host::UObject* movement = world().Spawn(*classes().movementComponent, L"Probe_Movement");
  for (const wchar_t* name : {L"bUseRVOAvoidance", L"AvoidanceWeight", L"NoSuchProperty"}) {
    host::FProperty* p = host().GetPropertyByNameInChain(movement, name);
    ASSERT_EQ(p, world().GetPropertyByNameInChain(movement, name)) << platform::WideToUtf8(name);
    if (!p) continue;
    EXPECT_EQ(host().GetBoolByteOffset(p), world().GetBoolByteOffset(p));
    EXPECT_EQ(host().GetBoolFieldMask(p), world().GetBoolFieldMask(p));
  }
  world().Destroy(movement);
  EXPECT_EQ(HeapUnexplained(), 0);
}

TEST_F(Ue4ssBinding, FindAllOfTakesOverTheVectorTheHostGrew) {
  std::vector<host::UObject*> crowd;
  for (int i = 0; i < 600; ++i)
    crowd.push_back(world().Spawn(*classes().baseAIController, L"Crowd_" + std::to_wstring(i)));
  std::vector<host::UObject*> expected, found{nullptr};
  world().FindAllOf(L"BP_BaseAIController_C", expected);
  host().FindAllOf(L"BP_BaseAIController_C", found);
  EXPECT_EQ(found, expected);  // replaced, not appended to
  EXPECT_GE(found.size(), 600u) << "over 4096 bytes of pointers: an aligned, offset block";
  host().FindAllOf(L"NoSuchClass", found);
  EXPECT_TRUE(found.empty());
  for (host::UObject* o : crowd) world().Destroy(o);
  EXPECT_EQ(HeapUnexplained(), 0);
}

class CapturedLog {
 public:
  CapturedLog() { SetLogDevices(&list_); }
  ~CapturedLog() { SetLogDevices(nullptr); }
  int Count(const std::string& needle) const {
    return static_cast<int>(
        std::count_if(device_.lines.begin(), device_.lines.end(), [&](const std::wstring& l) {
          return platform::WideToUtf8(l).find(needle) != std::string::npos;
        }));
  }

 private:
  struct Device final : ILogDevice {
    void Receive(const std::wstring& line) override { lines.push_back(line); }
    std::vector<std::wstring> lines;
  } device_;
  LogDeviceList list_{&device_};
};

TEST_F(Ue4ssBinding, CallsThatThrowAnswerNeutrallyAndAreLoggedOncePerCall) {
  CapturedLog log;
  host::UObject* actor = world().Spawn(*classes().actor, L"Probe_Thrower");
  api().setThrowing(KVR_THROW_FIND_ALL_OF | KVR_THROW_FIND_OBJECT | KVR_THROW_OBJECT_NAME |
                    KVR_THROW_PROCESS_EVENT | KVR_THROW_MALLOC);
  for (int twice = 0; twice < 2; ++twice) {
    std::vector<host::UObject*> found{actor};
    host().FindAllOf(L"Actor", found);  // the host grew the vector, then threw
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(host().FindObject(sim::kNavigationSystemPath), nullptr);
    EXPECT_EQ(host().GetName(actor), L"");
    EXPECT_EQ(host().Malloc(64, 16), nullptr);
  }
  EXPECT_EQ(log.Count("UObjectGlobals::FindAllOf(const wchar_t*, std::vector<UObject*>&) threw"),
            1);
  EXPECT_EQ(log.Count("FindObject(UClass*, UObject*, const wchar_t*, bool, ObjectSearcher*) threw"),
            1);
  EXPECT_EQ(log.Count("UObject::GetName() const threw"), 1);
  EXPECT_EQ(log.Count("FMemory::Malloc(size_t, uint32) threw"), 1);
  EXPECT_EQ(HeapUnexplained(), 0) << "the vector the host grew before it threw was freed";

  // A listener registered twice: the host refuses the second with an exception.
  struct Quiet final : host::IDeleteListener {
    void NotifyUObjectDeleted(const host::UObject*, int32_t) override {}
    void OnUObjectArrayShutdown() override {}
  } listener;
  host().AddUObjectDeleteListener(&listener);
  host().AddUObjectDeleteListener(&listener);
  EXPECT_EQ(log.Count("AddUObjectDeleteListener(FUObjectDeleteListener*) threw"), 1);
  host().RemoveUObjectDeleteListener(&listener);
  world().Destroy(actor);
}

TEST_F(Ue4ssBinding, PreCallbacksSurviveTheHostsCopiesMovesAndDestructions) {
  const KvrStandinReport before = api().Report(false);
  // Static: the host never lets go of the callbacks, and they refer to this.
  static std::vector<std::tuple<host::UObject*, host::UFunction*, void*>> seen;
  seen.clear();
  constexpr int kCallbacks = 4;  // the host's vector grows three times on the way
  for (int i = 0; i < kCallbacks; ++i) {
    host().RegisterProcessEventPreCallback(
        [](host::UObject* o, host::UFunction* f, void* p) { seen.emplace_back(o, f, p); });
  }
  const KvrStandinReport after = api().Report(false);
  EXPECT_EQ(after.callbacks, before.callbacks + kCallbacks);
  EXPECT_EQ(after.function_copies, before.function_copies + kCallbacks);
  EXPECT_GT(after.function_moves, before.function_moves);
  EXPECT_GE(after.function_destroys, before.function_destroys + kCallbacks);

  int params = 0;
  auto* object = reinterpret_cast<host::UObject*>(&params);
  auto* function = reinterpret_cast<host::UFunction*>(&seen);
  api().processEventPre(object, function, &params);
  ASSERT_EQ(seen.size(), static_cast<size_t>(kCallbacks));
  for (const auto& call : seen) EXPECT_EQ(call, std::make_tuple(object, function, &params));
}

TEST_F(Ue4ssBinding, DevicesAndTheDeleteListenerAreTheHostsObjectsCallingTheMods) {
  const size_t linesBefore = Hosted().backend.Lines().size();
  SetLogDevices(host().OutputDevices());
  Log("through the host's devices: \xC3\xA9");
  const std::vector<msvc_host::DeviceLine> lines = Hosted().backend.Lines();
  ASSERT_EQ(lines.size(), linesBefore + 2);
  EXPECT_EQ(lines[linesBefore].text, L"[KorvathNeuralNav] through the host's devices: \u00e9\n");
  EXPECT_EQ(lines[linesBefore].device, 0);
  EXPECT_EQ(lines[linesBefore + 1].device, 1);
  EXPECT_EQ(lines[linesBefore + 1].optionalArg, 0);

  struct Recording final : host::IDeleteListener {
    void NotifyUObjectDeleted(const host::UObject* o, int32_t i) override {
      deleted.emplace_back(o, i);
    }
    void OnUObjectArrayShutdown() override { ++shutdowns; }
    std::vector<std::pair<const host::UObject*, int32_t>> deleted;
    int shutdowns = 0;
  } listener;
  host().AddUObjectDeleteListener(&listener);
  int object = 0;
  api().objectDeleted(&object, 42);
  api().arrayShutdown();
  host().RemoveUObjectDeleteListener(&listener);
  api().objectDeleted(&object, 43);
  ASSERT_EQ(listener.deleted.size(), 1u);
  EXPECT_EQ(listener.deleted[0],
            std::make_pair(
                static_cast<const host::UObject*>(reinterpret_cast<host::UObject*>(&object)), 42));
  EXPECT_EQ(listener.shutdowns, 1);
}

TEST_F(Ue4ssBinding, TheEngineAllocatorIsThereOnlyWithGMalloc) {
  ASSERT_TRUE(host().HasEngineAllocator());
  const int64_t live = world().LiveAllocations();
  void* block = host().Malloc(100, 16);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(block) % 16, 0u);
  EXPECT_EQ(world().LiveAllocations(), live + 1);
  host().Free(block);
  EXPECT_EQ(world().LiveAllocations(), live);
  EXPECT_EQ(world().BadFrees(), 0);

  api().setGMalloc(0);
  EXPECT_FALSE(host().HasEngineAllocator());
  EXPECT_EQ(host().Malloc(100, 16), nullptr);
  host().Free(nullptr);
}

TEST_F(Ue4ssBinding, TheModFindsTheRealHostOnlyWhereItsDllIsLoaded) {
  EXPECT_NE(GetModuleHandleW(L"UE4SS.dll"), nullptr);
  host::IHost* found = FindUe4ssHost();
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found, FindUe4ssHost()) << "one binding per process";
  EXPECT_EQ(found->FindNameIndex(L"ReceiveTick"), world().FindNameIndex(L"ReceiveTick"));
}

// A debug-built host loads the debug C runtime; its strings and vectors have other layouts, so
// the mod must not bind to it, and says so in one line. A module under each debug runtime's name
// (a copy of this program's mod module, mapped without running it) stands in for the runtime.
TEST_F(Ue4ssBinding, ADebugBuiltHostIsNotBoundAndTheReasonIsOneLine) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::filesystem::path modModule = std::filesystem::path(self).parent_path() / "main.dll";
  ASSERT_TRUE(std::filesystem::exists(modModule));
  test::TempDir dir;
  for (const char* name : {"ucrtbased.dll", "vcruntime140d.dll"}) {
    const std::filesystem::path copy = dir.File(name);
    ASSERT_TRUE(std::filesystem::copy_file(modModule, copy)) << name;
    HMODULE runtime = LoadLibraryExW(copy.wstring().c_str(), nullptr, DONT_RESOLVE_DLL_REFERENCES);
    ASSERT_NE(runtime, nullptr) << name;
    std::string whyNot;
    EXPECT_EQ(FindUe4ssHost(&whyNot), nullptr) << name;
    EXPECT_EQ(whyNot, std::string(name) +
                          " is loaded: UE4SS is a debug build, whose strings and vectors are laid "
                          "out differently from a release build's - the mod stays inactive (use a "
                          "release build of UE4SS)");
    EXPECT_EQ(whyNot.find('\n'), std::string::npos);
    FreeLibrary(runtime);
    whyNot.clear();
    EXPECT_NE(FindUe4ssHost(&whyNot), nullptr) << "bound once the debug runtime is gone";
    EXPECT_TRUE(whyNot.empty());
  }
}

}  // namespace
}  // namespace kvr::ue4ss
