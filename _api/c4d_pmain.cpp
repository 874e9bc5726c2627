// The module's one exported entry point and its binding to the host.
#include "c4d_general.h"
#include "c4d_memory.h"
#include "c4d_os.h"
#include "c4d_resource.h"

Bool PluginStart();
void PluginEnd();
Bool PluginMessage(LONG id, void* data);

extern Filename* path_storage;

LONG InitOS(void* table) {
  t_C4DOS = static_cast<C4D_OS*>(table);
  return *static_cast<const LONG*>(table);
}

#if defined(_WIN32)
#define KW_EXPORT __declspec(dllexport)
#else
#define KW_EXPORT __attribute__((visibility("default")))
#endif

extern "C" KW_EXPORT LONG c4d_main(LONG action, void* p1, void* p2, void* p3) {
  static LONG init_count = 0;
  switch (action) {
    case 1: {  // system initialisation
      if (init_count++ != 0) return 1;
      // An old host or no module path: refuse and stay unbound.
      if (InitOS(p1) < KW_HOST_VERSION || !p3) {
        t_C4DOS = nullptr;
        return -3;
      }
      path_storage = gNew Filename;
      if (path_storage) C4DOS.filenames.copy_to(static_cast<const KwFilename*>(p3), path_storage->Handle());
      return 1;
    }
    case 2:  // start
      return PluginStart() ? 1 : 0;
    case 3:  // end
      if (--init_count != 0) return 1;
      PluginEnd();
      FreeResource();
      gDelete(path_storage);
      return 1;
    case 4:  // interface version
      return 3;
    case 6:  // plug-in message
      return PluginMessage(static_cast<LONG>(reinterpret_cast<intptr_t>(p1)), p2) ? 1 : -1;
    default:
      return -1;
  }
}
