// Ending a module and accounting for what it took from the host: once it
// has ended and its library is closed (its static destructors have run), no
// block it allocated may still be live, no host handle made for it may be
// left unfreed, and none of its frees may have named a block the host never
// gave out. The validator's checks and the fuzz targets end a module so.
#ifndef KWHOST_VALIDATE_MODULE_ACCOUNT_H
#define KWHOST_VALIDATE_MODULE_ACCOUNT_H

#include <memory>
#include <string>

#include "core/module_loader.h"

namespace kwhost::validate {

// Ends and closes the module; "" when its end answered and nothing of it is
// left, otherwise the first thing wrong. Null: nothing to end, "".
std::string endAndAccount(std::unique_ptr<Module> module);

}  // namespace kwhost::validate

#endif
