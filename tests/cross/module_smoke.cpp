// Loads a Windows module the way the host's loader does and drives the parts
// of its entry point that need no host table: the DLL must load with the
// system's DLLs alone, find c4d_main under its plain name, answer the
// interface version, refuse unknown actions and an old host, and unload.
//   module_smoke MODULE.rir64|MODULE.cdl
// Exit 0 when every step holds; 1 with the failed step on stderr.
#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "c4d_hosttable.h"

namespace {

typedef int32_t (*EntryFn)(int32_t action, void* p1, void* p2, void* p3);

int failures = 0;

void Expect(bool ok, const char* what) {
  std::fprintf(ok ? stdout : stderr, "%s: %s\n", ok ? "ok" : "FAIL", what);
  if (!ok) ++failures;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: module_smoke MODULE\n");
    return 2;
  }
  HMODULE lib = LoadLibraryW(argv[1]);
  if (!lib) {
    std::fprintf(stderr, "FAIL: LoadLibraryW: error %lu\n", static_cast<unsigned long>(GetLastError()));
    return 1;
  }
  EntryFn entry = reinterpret_cast<EntryFn>(reinterpret_cast<void*>(GetProcAddress(lib, "c4d_main")));
  Expect(entry != nullptr, "c4d_main is exported under its plain name");
  Expect(GetProcAddress(lib, "_c4d_main") == nullptr && GetProcAddress(lib, "c4d_main@16") == nullptr,
         "no decorated entry names");
  if (entry) {
    Expect(entry(4, nullptr, nullptr, nullptr) == 3, "action 4 answers interface version 3 before action 1");
    Expect(entry(0, nullptr, nullptr, nullptr) == -1, "action 0 is refused");
    Expect(entry(5, nullptr, nullptr, nullptr) == -1, "action 5 is refused");
    Expect(entry(7, nullptr, nullptr, nullptr) == -1, "action 7 is refused");
    // A host older than R11.5: only the version is read, and the module stays unbound.
    C4D_OS old_host{};
    old_host.version = KW_HOST_VERSION - 1;
    int dummy_path = 0;
    Expect(entry(1, &old_host, nullptr, &dummy_path) == -3, "a host of version 11499 is refused with -3");
  }
  Expect(FreeLibrary(lib) != 0, "the module unloads");
  std::printf("%s\n", failures == 0 ? "module_smoke: all steps passed" : "module_smoke: failed");
  return failures == 0 ? 0 : 1;
}
