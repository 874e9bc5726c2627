// The module's resource: its res/ folder as the host loaded it (strings,
// descriptions), held for the module's lifetime.
#ifndef KW_C4D_RESOURCE_H
#define KW_C4D_RESOURCE_H

#include "c4d_string.h"

class GeResource {
 public:
  GeResource() : handle_(nullptr), loaded_(FALSE), global_(FALSE), folder_(nullptr) {}
  ~GeResource();

  // Loads the resource from the module's folder; TRUE when a handle exists.
  Bool Init();
  // The string id of the loaded resource; the host's default string while
  // nothing is loaded.
  String LoadString(LONG id);
  void Free();

 private:
  KwResource* handle_;
  Bool loaded_;  // a load was attempted
  Bool global_;  // only borrows the host's global resource: never frees
  Filename* folder_;
};

extern GeResource resource;

String GeLoadString(LONG id);
void FreeResource();

#endif
