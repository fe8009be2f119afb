#include "mod/lifecycle.h"

#include <cstdio>

#include "game/delete_listener.h"
#include "game/update.h"
#include "host/log.h"
#include "host/mod_state.h"
#include "persistence/brain_status.h"
#include "platform/clock.h"
#include "platform/fault_trap.h"
#include "platform/steady_clock.h"
#include "platform/symbol.h"
#include "settings/config_check.h"
#include "settings/config_ini.h"

namespace kvr::mod {

using host::Host;
using host::IHost;
using host::SetHost;
using host::UFunction;
using host::UObject;

namespace {

// Failures inside a call from the host end here: logged if at all possible, never rethrown.
void LogFailure(const char* where, const char* what) noexcept {
  try {
    Log(std::string(where) + " failed: " + what);
  } catch (...) {
  }
}

template <typename F>
void Contained(const char* where, F&& body) noexcept {
  try {
    body();
  } catch (const std::exception& e) {
    LogFailure(where, e.what());
  } catch (...) {
    LogFailure(where, "unknown exception");
  }
}

// Settings from config.ini over the defaults, or a fresh documented file when there is none. A
// file that is there but could not be read is left for its owner to look at.
Settings LoadSettings(ModRuntime& rt) {
  Settings settings;
  std::string text;
  switch (ReadConfigIniFile(rt.paths.configPath, settings, rt.configStatus, nullptr, &text)) {
    case ConfigFileState::kNotFound:
      rt.configStatus += WriteConfigIni(rt.paths.configPath, settings)
                             ? "; wrote a fresh documented config.ini"
                             : "; could not write config.ini";
      break;
    case ConfigFileState::kRead:
      rt.configErrorsLine = ConfigErrorsLine(text);
      break;
    case ConfigFileState::kRefused:
      break;
  }
  return settings;
}

void PublishStartupSettings(ModRuntime& rt, const Settings& settings) {
  ModState& state = ModState::Get();
  {
    std::lock_guard<std::mutex> lock(state.settingsLock);
    state.sharedSettings = settings;
    state.settingsVersion = 1;
  }
  rt.gameSettings = settings;
  rt.gameSettingsVersion = 1;
}

void LoadBrain(ModRuntime& rt) {
  const Settings& s = rt.gameSettings;
  rt.brain.Configure(tactics::MakeBrainConfig(s), platform::SeedCounter() ^ 0xC0FFEEull);
  bool loaded = false;
  rt.brainStatus =
      persistence::LoadBrainAtStartup(rt.brain, rt.paths.brainPath, s.SaveBrain, &loaded);
  // A file that was not loaded may hold learning this brain did not come from: it is kept as a
  // backup before the first save over it.
  rt.brainFileReplaceable = loaded;
}

std::string CodeSectionLine(const platform::CodeRange& code) {
  char line[128];
  std::snprintf(line, sizeof line, "game code section 0x%llX..0x%llX; waiting for a level",
                static_cast<unsigned long long>(code.start),
                static_cast<unsigned long long>(code.end));
  return line;
}

}  // namespace

IHost* LocateHost(host::FindModHostFn findModHost, std::string* whyNot) {
  // Asked afresh for every mod object: a host that loads the mod again may be another one. The
  // simulator comes first: it may run where the real host's DLL is loaded too.
  using HostFn = IHost* (*)();
  if (auto fn = reinterpret_cast<HostFn>(platform::FindMainProgramSymbol("kvr_host_interface"))) {
    if (IHost* host = fn()) {
      SetHost(host);
      return host;
    }
  }
  std::string reason;
  if (IHost* host = findModHost ? findModHost(reason) : nullptr) {
    SetHost(host);
    return host;
  }
  if (whyNot) *whyNot = reason;
  return Host();
}

namespace {

// Without the module's file name there is no mod directory: the files would land in the root
// of the drive or the file system, so none are read or written.
constexpr const char* kNoModDirectory =
    "mod directory unknown (the module's file name could not be read) - using defaults; "
    "config.ini and brain.kvrb are neither read nor written";

void LoadFilesLocked(ModRuntime& rt, const std::wstring& modDirectory) {
  platform::ExecutableCodeRange(rt.codeSection);
  ModState::Get().modDirectory = modDirectory;
  rt.paths = game::ModPathsFor(modDirectory);
  if (modDirectory.empty()) {
    rt.configStatus = kNoModDirectory;
    PublishStartupSettings(rt, Settings{});
    rt.brain.Configure(tactics::MakeBrainConfig(rt.gameSettings),
                       platform::SeedCounter() ^ 0xC0FFEEull);
    rt.brainStatus = "fresh brain (mod directory unknown - not saved)";
    return;
  }
  PublishStartupSettings(rt, LoadSettings(rt));
  LoadBrain(rt);
}

void StartUpSteps(ModRuntime& rt, const std::wstring& modDirectory) {
  {
    std::lock_guard<std::mutex> lock(rt.stateLock);
    if (rt.initialized || rt.shuttingDown) return;
    LoadFilesLocked(rt, modDirectory);
  }
  // Outside the state lock: the engine calls the listener with its own listener lock held, and
  // the listener takes the state lock, so holding ours here could deadlock against a deleting
  // thread.
  if (IHost* host = Host()) {
    game::TheDeleteListener().Serve(rt);
    host->AddUObjectDeleteListener(&game::TheDeleteListener());
    rt.listenerRegistered = true;
  }
  rt.initialized = true;
  Log("v1.0.1 by Dunmere (Halvenor) - " + rt.configStatus);
  if (!rt.configErrorsLine.empty()) Log(rt.configErrorsLine);
  Log(rt.brainStatus);
  Log(CodeSectionLine(rt.codeSection));
}

// The part of the tick entry that may call the host.
void FilterTick(ModRuntime& rt, UFunction* function) {
  IHost* host = Host();
  if (!host) return;
  game::TickGate& gate = rt.tickGate;
  const uint32_t tickName = gate.receiveTickIndex.load(std::memory_order_relaxed);
  if (tickName == 0) {
    // The name may not exist yet; looking it up on every call would cost a name-table search
    // per ProcessEvent, so only the 1st, 1025th, 2049th, ... call tries.
    const uint64_t call = gate.callsWhileUnknown.fetch_add(1) + 1;
    if ((call & 0x3FF) == 1) {
      if (const uint32_t found = host->FindNameIndex(L"ReceiveTick")) gate.receiveTickIndex = found;
    }
    return;
  }
  if (host->GetNameIndex(AsObject(function)) != tickName) return;
  const uint32_t self = platform::CurrentThreadId();
  uint32_t gameThread = gate.gameThreadId.load();
  if (gameThread == 0 && gate.gameThreadId.compare_exchange_strong(gameThread, self))
    gameThread = self;
  if (gameThread != self) return;
  RunFaultGuard(rt);
}

void StepAsideAfterFaults(ModRuntime& rt) {
  rt.guardCount = kFaultsBeforeSteppingAside + 1;
  game::RestoreNavHooks(rt.game.navmeshes);
  rt.reshapingDisabled = true;
  rt.pathSafetyStatus = kSteppedAsideMessage;
  Log(kSteppedAsideMessage);
}

void RunUpdateLocked(ModRuntime& rt) {
  // Shutdown or the engine's exit may have come while this tick waited for the lock.
  if (rt.shuttingDown || rt.gameExitSeen) return;
  if (rt.guardCount == kFaultsBeforeSteppingAside) return StepAsideAfterFaults(rt);
  if (rt.guardCount > kFaultsBeforeSteppingAside) return;
  if (!game::UpdateDue(rt.game, platform::SteadySeconds())) return;
  game::SetInsideUpdate(true);
  const platform::TrapResult result = platform::RunTrapped([&rt] { game::Update(rt); });
  game::SetInsideUpdate(false);
  if (result != platform::TrapResult::kCompleted) {
    ++rt.totalFaults;
    ++rt.guardCount;
  }
}

void ShutdownSteps(ModRuntime& rt) {
  bool unregister = false;
  {
    std::lock_guard<std::mutex> lock(rt.stateLock);
    rt.shuttingDown = true;
    const bool gameExit = rt.gameExitSeen;
    if (!gameExit && rt.initialized) {
      game::RestoreNavHooks(rt.game.navmeshes);
      game::SaveBrainWithStatus(rt, "exit");
    }
    unregister = rt.listenerRegistered.exchange(false) && !gameExit;
  }
  if (unregister) {
    if (IHost* host = Host()) host->RemoveUObjectDeleteListener(&game::TheDeleteListener());
  }
}

}  // namespace

void StartUp(ModRuntime& rt, const std::wstring& modDirectory) {
  Contained("start-up", [&] { StartUpSteps(rt, modDirectory); });
}

void TickEntry(ModRuntime& rt, UObject* /*object*/, UFunction* function, void* /*params*/) {
  if (!function || !rt.initialized || rt.shuttingDown || rt.gameExitSeen) return;
  Contained("tick", [&] { FilterTick(rt, function); });
}

void RunFaultGuard(ModRuntime& rt) {
  // A ReceiveTick set off by the update's own ProcessEvent calls: this thread holds the lock.
  if (game::InsideUpdate()) return;
  std::lock_guard<std::mutex> lock(rt.stateLock);
  RunUpdateLocked(rt);
}

void Shutdown(ModRuntime& rt) {
  Contained("shutdown", [&] { ShutdownSteps(rt); });
}

}  // namespace kvr::mod
