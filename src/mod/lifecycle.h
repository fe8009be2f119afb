// The mod's lifecycle: start-up once Unreal is up, the ReceiveTick-driven entry from the game
// thread with its fault guard, the object-deletion listener, and shutdown.
#pragma once
#include <string>

#include "host/api/host.h"
#include "mod/mod_runtime.h"

namespace kvr::mod {

inline constexpr const char* kSteppedAsideMessage =
    "20 faults caught in the per-frame update - mod stepped aside (paths restored to vanilla)";

// Resolves the host: the simulator's, which the program that loaded this module exports as
// "kvr_host_interface"; else the binding over the real mod host that `findModHost` finds (null
// when the host's DLL is not in the process); else the one set by SetHost. The one found is set
// with SetHost. Null when there is none; `whyNot` then holds a line when the real host's DLL is
// there but the mod must not bind to it.
host::IHost* LocateHost(host::FindModHostFn findModHost = nullptr, std::string* whyNot = nullptr);

// Settings, brain, delete listener and the three start-up log lines; sets initialized. This,
// the tick entry and shutdown never let an exception out to the host (failures are logged).
void StartUp(ModRuntime& rt, const std::wstring& modDirectory);

// The ProcessEvent pre-callback: filters the stream down to ReceiveTick on the game thread.
void TickEntry(ModRuntime& rt, host::UObject* object, host::UFunction* function, void* params);

// Runs the per-frame update under the state lock with machine faults and exceptions contained;
// after 20 faults in the life of the process the next call steps the mod aside, once.
void RunFaultGuard(ModRuntime& rt);

// Restores paths and saves ("exit") unless the game's exit came first; unregisters the listener.
void Shutdown(ModRuntime& rt);

}  // namespace kvr::mod
