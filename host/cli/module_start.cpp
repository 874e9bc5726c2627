#include "cli/module_start.h"

#include "core/registry.h"

namespace kwhost::cli {

Result<std::unique_ptr<Module>> startModule(const std::string& path) {
  auto module = Module::load(path);
  if (!module) return Error{module.error()};
  if (registeredTagTypes().empty()) {
    const auto& refused = module.value()->refusals();
    return Error{path + ": the module started but registered no tag type" +
                 (refused.empty() ? "" : " (" + refused.back().message + ")")};
  }
  return std::move(module.value());
}

}  // namespace kwhost::cli
