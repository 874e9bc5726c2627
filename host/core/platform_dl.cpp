#include "core/platform_dl.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace kwhost {

#if defined(_WIN32)

Result<void*> dlOpen(const std::string& utf8Path) {
  const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8Path.c_str(), -1, nullptr, 0);
  if (n <= 0) return fail("the path is not valid UTF-8");
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8Path.c_str(), -1, wide.data(), n);
  HMODULE lib = LoadLibraryW(wide.c_str());
  if (!lib) {
    char buf[512] = {0};
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetLastError(), 0, buf,
                   sizeof(buf) - 1, nullptr);
    std::string why = buf;
    while (!why.empty() && (why.back() == '\n' || why.back() == '\r')) why.pop_back();
    return fail(why);
  }
  return reinterpret_cast<void*>(lib);
}

void* dlSymbol(void* lib, const char* name) {
  return lib ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(lib), name)) : nullptr;
}

void dlClose(void* lib) {
  if (lib) FreeLibrary(static_cast<HMODULE>(lib));
}

#else

Result<void*> dlOpen(const std::string& utf8Path) {
  // RTLD_LOCAL: the module's symbols stay its own; RTLD_NOW: a missing
  // symbol fails the load here, not in the middle of a frame.
  void* lib = dlopen(utf8Path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!lib) {
    const char* e = dlerror();
    return fail(e ? e : "unknown error");
  }
  return lib;
}

void* dlSymbol(void* lib, const char* name) { return lib ? dlsym(lib, name) : nullptr; }

void dlClose(void* lib) {
  if (lib) dlclose(lib);
}

#endif

}  // namespace kwhost
