#include "platform/code_range.h"

#include <elf.h>
#include <link.h>

namespace kvr::platform {

namespace {

int VisitMainExecutable(dl_phdr_info* info, size_t, void* data) {
  CodeRange& range = *static_cast<CodeRange*>(data);
  // The first object reported is the main program.
  for (ElfW(Half) i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& header = info->dlpi_phdr[i];
    if (header.p_type != PT_LOAD || !(header.p_flags & PF_X)) continue;
    range.loadAddress = info->dlpi_addr;
    range.start = info->dlpi_addr + header.p_vaddr;
    range.end = range.start + header.p_memsz;
  }
  return 1;
}

}  // namespace

bool ExecutableCodeRange(CodeRange& out) {
  out = CodeRange{};
  dl_iterate_phdr(&VisitMainExecutable, &out);
  if (out.end > out.start) return true;
  out = CodeRange{};
  return false;
}

}  // namespace kvr::platform
