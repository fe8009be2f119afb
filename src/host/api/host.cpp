#include "host/api/host.h"

#include <atomic>

namespace kvr::host {

namespace {
std::atomic<IHost*> g_host{nullptr};
std::atomic<uint64_t> g_generation{0};
}  // namespace

void SetHost(IHost* host) {
  g_host.store(host);
  g_generation.fetch_add(1);
}

IHost* Host() {
  return g_host.load(std::memory_order_acquire);
}

uint64_t HostGeneration() {
  return g_generation.load(std::memory_order_acquire);
}

}  // namespace kvr::host
