#include "core/call_scope.h"

namespace kwhost {
namespace {
thread_local ModuleContext* t_module = nullptr;
}

ModuleContext* currentModule() { return t_module; }

void noteRefusal(std::string why) {
  if (t_module) t_module->refusals.push_back(fail(std::move(why)));
}

CallScope::CallScope(ModuleContext* m)
    : previous_(t_module), account_(m && m->account ? m->account : currentAccount()) {
  t_module = m;
}

CallScope::~CallScope() { t_module = previous_; }

}  // namespace kwhost
