// Finds a function that the process's main program exports: how a module reaches the program
// that loaded it without the program handing it a pointer.
#pragma once

namespace kvr::platform {

// The address of `name` exported by the main executable, or null.
void* FindMainProgramSymbol(const char* name);

}  // namespace kvr::platform
