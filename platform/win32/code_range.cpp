#include "platform/code_range.h"

#include <windows.h>

#include <cstring>

namespace kvr::platform {

bool ExecutableCodeRange(CodeRange& out) {
  out = CodeRange{};
  const auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
  if (!base) return false;
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  const uint64_t load = reinterpret_cast<uint64_t>(base);
  for (WORD i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (std::memcmp(section->Name, ".text", 5) != 0) continue;
    out.loadAddress = load;
    out.start = load + section->VirtualAddress;
    out.end = out.start + section->Misc.VirtualSize;
  }
  if (out.end > out.start) return true;
  out = CodeRange{};
  return false;
}

}  // namespace kvr::platform
