#include "call_scope.h"

namespace kwhost {
namespace {
thread_local ModuleContext* t_module = nullptr;
}

ModuleContext* currentModule() { return t_module; }

CallScope::CallScope(ModuleContext* m)
    : previous_(t_module), account_(m && m->account ? m->account : currentAccount()) {
  t_module = m;
}

CallScope::~CallScope() { t_module = previous_; }

}  // namespace kwhost
