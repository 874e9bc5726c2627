#include "validate/module_account.h"

namespace kwhost::validate {

std::string endAndAccount(std::unique_ptr<Module> m) {
  if (!m) return "";
  // The account outlives the module: it is read after the library is closed.
  const Account* account = &m->account();
  auto ended = m->end();
  m.reset();  // closes the library: the module's static destructors run now
  if (!ended) return ended.error();
  const AccountSnapshot s = account->snapshot();
  if (s.liveBlocks != 0)
    return std::to_string(s.liveBlocks) + " module block(s) of " + std::to_string(s.liveBytes) +
           " bytes still live after the module ended";
  if (s.liveHandles != 0) return std::to_string(s.liveHandles) + " host handle(s) made for the module never freed";
  if (s.badFrees != 0) return std::to_string(s.badFrees) + " free(s) of blocks the host never gave out";
  return "";
}

}  // namespace kwhost::validate
