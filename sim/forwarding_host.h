// A host that passes every call on to another one, counting the calls the lifecycle cares
// about, and that can play a corrupted engine: for the next N look-ups of an object by path it
// answers with an address of unmapped memory, and the engine then faults when the mod asks
// about that object (as the real engine would on a dangling object).
#pragma once
#include <atomic>

#include "host/api/host.h"

namespace kvr::sim {

class ForwardingHost : public host::IHost {
 public:
  explicit ForwardingHost(host::IHost& inner) : inner_(inner) {}

  // The next `count` FindObject calls answer with a corrupt object.
  void InjectCorruptObjects(int count) { corruptLeft_.store(count); }

  std::atomic<int> findNameCalls{0};
  std::atomic<int> addListenerCalls{0};
  std::atomic<int> removeListenerCalls{0};
  std::atomic<int> corruptObjectsHandedOut{0};
  // Faults set off by asking about a corrupt object: each one either was caught or ended the
  // process, so a program that reads this afterwards saw them all caught.
  std::atomic<int> corruptObjectsTouched{0};

  void RegisterProcessEventPreCallback(host::ProcessEventCallback cb) override {
    inner_.RegisterProcessEventPreCallback(std::move(cb));
  }
  const LogDeviceList* OutputDevices() override { return inner_.OutputDevices(); }
  // Offers the given clock to the mod (the simulated one, so a run goes faster than real time).
  void OfferClock(ClockFn clock) { clock_ = clock; }
  ClockFn SteadyClock() override { return clock_ ? clock_ : inner_.SteadyClock(); }
  uint32_t FindNameIndex(std::wstring_view text) override {
    ++findNameCalls;
    return inner_.FindNameIndex(text);
  }
  uint32_t GetNameIndex(const host::UObject* o) override { return inner_.GetNameIndex(o); }
  void AddUObjectDeleteListener(host::IDeleteListener* l) override {
    ++addListenerCalls;
    inner_.AddUObjectDeleteListener(l);
  }
  void RemoveUObjectDeleteListener(host::IDeleteListener* l) override {
    ++removeListenerCalls;
    inner_.RemoveUObjectDeleteListener(l);
  }
  void FindAllOf(std::wstring_view c, std::vector<host::UObject*>& out) override {
    inner_.FindAllOf(c, out);
  }
  host::UObject* FindObject(std::wstring_view path) override;
  uint32_t GetObjectFlags(const host::UObject* o) override { return inner_.GetObjectFlags(o); }
  int32_t GetInternalIndex(const host::UObject* o) override { return inner_.GetInternalIndex(o); }
  host::UClass* GetClassPrivate(const host::UObject* o) override;
  std::wstring GetName(const host::UObject* o) override { return inner_.GetName(o); }
  host::FProperty* GetPropertyByNameInChain(const host::UObject* o, std::wstring_view n) override;
  host::UFunction* GetFunctionByNameInChain(const host::UObject* o, std::wstring_view n) override;
  uint16_t GetParmsSize(const host::UFunction* f) override { return inner_.GetParmsSize(f); }
  host::FProperty* GetFirstProperty(const host::UStruct* s) override {
    return inner_.GetFirstProperty(s);
  }
  host::FProperty* GetNextFieldAsProperty(const host::FProperty* p) override {
    return inner_.GetNextFieldAsProperty(p);
  }
  std::wstring GetFieldName(const host::FProperty* p) override { return inner_.GetFieldName(p); }
  int32_t GetOffset(const host::FProperty* p) override { return inner_.GetOffset(p); }
  uint8_t GetBoolByteOffset(const host::FProperty* p) override {
    return inner_.GetBoolByteOffset(p);
  }
  uint8_t GetBoolFieldMask(const host::FProperty* p) override { return inner_.GetBoolFieldMask(p); }
  host::UStruct* GetStructPropertyStruct(const host::FProperty* p) override {
    return inner_.GetStructPropertyStruct(p);
  }
  void ProcessEvent(host::UObject* o, host::UFunction* f, void* params) override {
    inner_.ProcessEvent(o, f, params);
  }
  bool HasEngineAllocator() override { return inner_.HasEngineAllocator(); }
  void* Malloc(size_t size, uint32_t alignment) override { return inner_.Malloc(size, alignment); }
  void Free(void* block) override { inner_.Free(block); }

 private:
  // The engine reads an object's header before it answers anything about it.
  void TouchHeader(const host::UObject* object);

  host::IHost& inner_;
  std::atomic<int> corruptLeft_{0};
  ClockFn clock_ = nullptr;
};

}  // namespace kvr::sim
