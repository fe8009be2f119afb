// Calls into the MSVC-built host.
//
// A C++ exception the host throws is an MSVC exception: it unwinds only through frames whose
// unwind information names MSVC's frame handler, and passes straight through GCC's frames to
// end the process. So every call into the host is made from one small function compiled for the
// MSVC C++ ABI (msvc/catch_frame.cpp), which catches whatever the host throws and reports it as
// a value; no GCC frame ever sits between the host and that catch.
//
// The host's functions are called as plain functions of up to six 64-bit words: on Windows x64
// a member function is a function with `this` first, integers and pointers travel in 64-bit
// slots whatever their size, and the callee reads only the bits it declared.
#pragma once
#include <cstdint>
#include <type_traits>

extern "C" int kvr_msvc_guarded_call(const void* function, const uint64_t* words, uint64_t* result);

namespace kvr::ue4ss {

template <typename T>
uint64_t ToWord(T value) {
  if constexpr (std::is_pointer_v<T> || std::is_null_pointer_v<T>) {
    return reinterpret_cast<uintptr_t>(value);
  } else {
    static_assert(std::is_integral_v<T> || std::is_enum_v<T>, "words are integers or pointers");
    return static_cast<uint64_t>(value);
  }
}

// False when the host threw; `result` (RAX) is then 0.
template <typename... Args>
bool CallHost(const void* function, uint64_t& result, Args... args) {
  static_assert(sizeof...(Args) <= 6, "at most six arguments");
  const uint64_t words[6] = {ToWord(args)...};
  result = 0;
  return function && kvr_msvc_guarded_call(function, words, &result) == 0;
}

// Installs MSVC's frame handler for the catching frame from the host's runtime
// (vcruntime140.dll). Until it is found, an exception from the host is not caught. False when
// the runtime is not in the process.
bool BindMsvcFrameHandler();

}  // namespace kvr::ue4ss
