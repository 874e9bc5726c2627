// The module a command runs with: loaded, started, and holding a tag type,
// or one line that says which of those failed.
#ifndef KWHOST_CLI_MODULE_START_H
#define KWHOST_CLI_MODULE_START_H

#include <memory>
#include <string>

#include "core/module_loader.h"
#include "core/result.h"

namespace kwhost::cli {

// A module that starts but registers no tag type would run every scene as
// empty: refused here, with the last refusal the module gave, if any.
Result<std::unique_ptr<Module>> startModule(const std::string& path);

}  // namespace kwhost::cli

#endif
