// The real module, loaded once per test process (its globals are process
// wide; ctest runs every test in a process of its own).
#ifndef KW_TESTS_RELIABILITY_MODULE_ONCE_H
#define KW_TESTS_RELIABILITY_MODULE_ONCE_H

#include "core/module_loader.h"

namespace kwtest {

// Loads the module on first use; null (and a test failure) if it cannot be.
kwhost::Module* sharedModule();
// Ends and unloads it (for tests that load it themselves afterwards).
void releaseSharedModule();

}  // namespace kwtest

#endif
