#include "module_once.h"

#include <cstdlib>
#include <memory>

#include "validate/module_account.h"

namespace kwtest {

namespace {

struct Once {
  std::unique_ptr<kwhost::Module> module;
  std::string failure;
};

Once& once() {
  static Once o;
  return o;
}

void endAtExit() { (void)endModuleOnce(); }

}  // namespace

const char* builtModulePath() { return KW_TEST_MODULE; }

kwhost::Module* moduleOnce(std::string* why, const std::string& path) {
  Once& o = once();
  if (!o.module && o.failure.empty()) {
    auto m = kwhost::Module::load(path.empty() ? std::string(builtModulePath()) : path);
    if (m) {
      o.module = std::move(m.value());
      // Registered after the library's own static destructors, so run before
      // them; once per load, as each load registers its library's anew.
      std::atexit(endAtExit);
    } else {
      o.failure = m.error();
    }
  }
  if (!o.module && why) *why = o.failure;
  return o.module.get();
}

std::string endModuleOnce() {
  Once& o = once();
  o.failure.clear();
  return kwhost::validate::endAndAccount(std::move(o.module));
}

}  // namespace kwtest
