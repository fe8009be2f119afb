// Compiled by clang for the MSVC target (x86_64-pc-windows-msvc), not by the mod's compiler: the
// frame of this function is one MSVC's C++ exceptions can be caught in. See msvc_call.h.
//
// No standard headers: there are no MSVC headers on the build machine, and none are needed.

typedef unsigned long long Word;
typedef Word (*HostFunction)(Word, Word, Word, Word, Word, Word);

// 0 when the call returned; 1 when it threw (`*result` is left alone then).
extern "C" int kvr_msvc_guarded_call(const void* function, const Word* words, Word* result) {
  try {
    *result = reinterpret_cast<HostFunction>(const_cast<void*>(function))(
        words[0], words[1], words[2], words[3], words[4], words[5]);
    return 0;
  } catch (...) {
    return 1;
  }
}
