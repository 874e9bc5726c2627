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
    case KW_ACTION_INIT: {
      if (init_count++ != 0) return KW_MAIN_OK;
      // An old host, a table shorter than the one this module was built
      // against, or no module path: refuse and stay unbound.
      if (InitOS(p1) < KW_HOST_VERSION || !KW_TABLE_HAS(t_C4DOS, crash_handler) || !p3) {
        t_C4DOS = nullptr;
        return KW_MAIN_TOO_OLD;
      }
      path_storage = gNew Filename;
      if (path_storage) C4DOS.filenames.copy_to(static_cast<const KwFilename*>(p3), path_storage->Handle());
      return KW_MAIN_OK;
    }
    case KW_ACTION_START:
      return PluginStart() ? KW_MAIN_OK : KW_MAIN_FAILED;
    case KW_ACTION_END:
      if (--init_count != 0) return KW_MAIN_OK;
      PluginEnd();
      FreeResource();
      gDelete(path_storage);
      return KW_MAIN_OK;
    case KW_ACTION_VERSION:
      return KW_INTERFACE_VERSION;
    case KW_ACTION_MESSAGE:
      return PluginMessage(static_cast<LONG>(reinterpret_cast<intptr_t>(p1)), p2) ? KW_MAIN_OK : KW_MAIN_REFUSED;
    default:
      return KW_MAIN_REFUSED;
  }
}
