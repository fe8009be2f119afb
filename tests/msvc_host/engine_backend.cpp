#include "engine_backend.h"

#include <algorithm>
#include <atomic>

#include "sim/object_model.h"

namespace kvr::msvc_host {

namespace {

std::atomic<EngineBackend*> g_backend{nullptr};

host::IHost& Engine() {
  return g_backend.load()->Engine();
}

sim::Property* AsProperty(void* p) {
  return static_cast<sim::Property*>(p);
}

size_t CopyOut(const std::wstring& text, wchar_t* out, size_t capacity) {
  if (text.size() < capacity) {
    std::copy(text.begin(), text.end(), out);
    out[text.size()] = L'\0';
  }
  return text.size();
}

uint32_t FindName(const wchar_t* text) {
  return Engine().FindNameIndex(text);
}

size_t ObjectName(const void* object, wchar_t* out, size_t capacity) {
  return CopyOut(Engine().GetName(static_cast<const host::UObject*>(object)), out, capacity);
}

size_t FieldName(const void* property, wchar_t* out, size_t capacity) {
  return CopyOut(Engine().GetFieldName(static_cast<const host::FProperty*>(property)), out,
                 capacity);
}

void FindAllOf(const wchar_t* className, void (*add)(void*, void*), void* context) {
  std::vector<host::UObject*> found;
  Engine().FindAllOf(className, found);
  for (host::UObject* object : found) add(context, object);
}

void* FindObject(const wchar_t* path) {
  return Engine().FindObject(path);
}

void* PropertyInChain(const void* object, const wchar_t* name) {
  return Engine().GetPropertyByNameInChain(static_cast<const host::UObject*>(object), name);
}

void* FunctionInChain(const void* object, const wchar_t* name) {
  return Engine().GetFunctionByNameInChain(static_cast<const host::UObject*>(object), name);
}

uint16_t* ParmsSize(void* function) {
  return &static_cast<sim::Function*>(function)->parmsSize;
}

void* FirstProperty(void* structure) {
  return Engine().GetFirstProperty(static_cast<host::UStruct*>(structure));
}

void* NextProperty(void* property) {
  return AsProperty(property)->next;
}

int32_t* Offset(void* property) {
  return &AsProperty(property)->offset;
}

uint8_t* ByteOffset(void* property) {
  return &AsProperty(property)->byteOffset;
}

uint8_t* FieldMask(void* property) {
  return &AsProperty(property)->fieldMask;
}

void** StructType(void* property) {
  return reinterpret_cast<void**>(&AsProperty(property)->structType);
}

void ProcessEvent(void* object, void* function, void* params) {
  Engine().ProcessEvent(static_cast<host::UObject*>(object),
                        static_cast<host::UFunction*>(function), params);
}

void* Malloc(size_t size, uint32_t alignment) {
  return Engine().Malloc(size, alignment);
}

void Free(void* block) {
  Engine().Free(block);
}

void DeviceLineIn(int device, const wchar_t* text, size_t length, int optionalArg) {
  g_backend.load()->AddLine({device, optionalArg, std::wstring(text, length)});
}

}  // namespace

EngineBackend::EngineBackend(host::IHost& engine)
    : engine_(engine), table_{&FindName,      &ObjectName,      &FieldName,       &FindAllOf,
                              &FindObject,    &PropertyInChain, &FunctionInChain, &ParmsSize,
                              &FirstProperty, &NextProperty,    &Offset,          &ByteOffset,
                              &FieldMask,     &StructType,      &ProcessEvent,    &Malloc,
                              &Free,          &DeviceLineIn} {
  g_backend.store(this);
}

EngineBackend::~EngineBackend() {
  g_backend.store(nullptr);
}

std::vector<DeviceLine> EngineBackend::Lines() const {
  std::lock_guard<std::mutex> lock(linesLock_);
  return lines_;
}

void EngineBackend::AddLine(DeviceLine line) {
  std::lock_guard<std::mutex> lock(linesLock_);
  lines_.push_back(std::move(line));
}

}  // namespace kvr::msvc_host
