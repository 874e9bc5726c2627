// Which module the host is calling into on this thread: set around every
// call of c4d_main and of a tag type's functions, so that allocations are
// charged to the module's account and a registration knows its res/ folder.
#ifndef KWHOST_CALL_SCOPE_H
#define KWHOST_CALL_SCOPE_H

#include <string>
#include <vector>

#include "core/allocator.h"
#include "core/result.h"

namespace kwhost {

struct ModuleContext {
  std::string path;    // the loaded file
  std::string folder;  // the module's folder; res/ lies in it
  Account* account = nullptr;
  // What the host answered this module with a failure (a refused
  // registration, a resource that cannot be loaded), and why, oldest first:
  // the table answers the module with null or FALSE only, the reason stays here.
  std::vector<Error> refusals;
};

// Notes a refusal on the module being called (nothing outside a module call).
void noteRefusal(std::string why);

// Null outside any module call.
ModuleContext* currentModule();

class CallScope {
 public:
  explicit CallScope(ModuleContext* m);
  ~CallScope();
  CallScope(const CallScope&) = delete;
  CallScope& operator=(const CallScope&) = delete;

 private:
  ModuleContext* previous_;
  AccountScope account_;
};

}  // namespace kwhost

#endif
