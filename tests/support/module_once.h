// The module under test, loaded and started once per process. Its state is
// process wide and the host refuses a second load of a file that is open,
// so every test of a program, a fuzz target or a benchmark shares the one.
#ifndef KW_TESTS_SUPPORT_MODULE_ONCE_H
#define KW_TESTS_SUPPORT_MODULE_ONCE_H

#include <string>

#include "core/module_loader.h"

namespace kwtest {

// The module file this build made (res/ beside it).
const char* builtModulePath();

// Loads and starts the module at path (empty: the built one) on the first
// call and returns it on every later one, whatever their path. Null when it
// cannot be loaded, with the reason in *why; a failure is not retried until
// endModuleOnce(). The module is ended at exit if nothing ended it before,
// ahead of its own static destructors (an end after them would free its
// resource a second time).
kwhost::Module* moduleOnce(std::string* why = nullptr, const std::string& path = {});

// Ends and closes the module now (the next moduleOnce loads it afresh);
// "" when nothing of it was left live, else the first thing that was.
std::string endModuleOnce();

}  // namespace kwtest

#endif
