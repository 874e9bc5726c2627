// Loading a shared library and finding a symbol in it: dlopen/dlsym on
// POSIX, LoadLibraryW/GetProcAddress on Windows.
#ifndef KWHOST_PLATFORM_DL_H
#define KWHOST_PLATFORM_DL_H

#include <string>

namespace kwhost {

// Null on failure, with the system's reason in *error.
void* dlOpen(const std::string& utf8Path, std::string* error);
void* dlSymbol(void* lib, const char* name);
void dlClose(void* lib);

}  // namespace kwhost

#endif
