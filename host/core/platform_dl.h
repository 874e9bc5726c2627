// Loading a shared library and finding a symbol in it: dlopen/dlsym on
// POSIX, LoadLibraryW/GetProcAddress on Windows.
#ifndef KWHOST_PLATFORM_DL_H
#define KWHOST_PLATFORM_DL_H

#include <string>

#include "core/result.h"

namespace kwhost {

// The library's handle, or the system's reason it cannot be loaded.
Result<void*> dlOpen(const std::string& utf8Path);
void* dlSymbol(void* lib, const char* name);
void dlClose(void* lib);

}  // namespace kwhost

#endif
