// The simulated engine behind the stand-in mod host: the calls the stand-in makes through
// KvrEngine (engine.h) answered by the simulated world, through any host seam over it (a
// ForwardingHost, to play a corrupt engine), and the lines the stand-in's output devices
// received.
#pragma once
#include <mutex>
#include <string>
#include <vector>

#include "engine.h"
#include "host/api/host.h"

namespace kvr::msvc_host {

struct DeviceLine {
  int device;
  int optionalArg;
  std::wstring text;
};

class EngineBackend {
 public:
  // `engine` answers the look-ups; the property, function and struct handles it gives are the
  // simulated world's. One backend per process at a time.
  explicit EngineBackend(host::IHost& engine);
  ~EngineBackend();
  EngineBackend(const EngineBackend&) = delete;
  EngineBackend& operator=(const EngineBackend&) = delete;

  const KvrEngine* Table() const { return &table_; }
  std::vector<DeviceLine> Lines() const;
  void AddLine(DeviceLine line);
  host::IHost& Engine() { return engine_; }

 private:
  host::IHost& engine_;
  KvrEngine table_;
  mutable std::mutex linesLock_;
  std::vector<DeviceLine> lines_;
};

}  // namespace kvr::msvc_host
