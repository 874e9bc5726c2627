// Registered tag types, process wide. A module registers its types while it
// starts (the calling module is the current call scope); its types are
// unregistered, and its tags' instances destroyed, before it is unloaded.
#ifndef KWHOST_REGISTRY_H
#define KWHOST_REGISTRY_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "c4d_hosttable.h"
#include "core/description.h"

namespace kwhost {

struct ModuleContext;

struct TagType {
  int32_t id = 0;
  std::string name;         // display name
  int32_t info = 0;         // tag info flags
  KwTagFuncs funcs{};       // copied at registration
  std::string description;  // description resource name
  std::string icon;         // icon file in res/
  int32_t diskLevel = 0;
  std::string resFolder;     // the module's res/ folder
  DescriptionInfo parsed;    // the description as read at registration
  ModuleContext* module = nullptr;  // null once the module is unloaded
};

// The table's registration: fails (FALSE) on a null name or functions, an
// empty name, an id already registered, a missing or invalid icon in the
// calling module's res/ folder, or a description that cannot be read.
// The reason is kept with the calling module (ModuleContext::refusals).
int32_t registerTag(int32_t id, const KwString* name, int32_t info, const KwTagFuncs* funcs,
                    const char* description, const char* icon, int32_t disklevel);

std::shared_ptr<TagType> findTagType(int32_t id);
std::shared_ptr<TagType> findTagType(std::string_view name);
std::vector<std::shared_ptr<TagType>> registeredTagTypes();
// The description registered under the resource name (e.g. "Tkestrelwoodexp")
// or under the tag type's display name (e.g. "Kestrelwood"); null if none.
const DescriptionInfo* findDescription(std::string_view name);

// Unloading: destroys the instances of every tag of the module's types and
// removes the types.
void unregisterModule(ModuleContext* module);

}  // namespace kwhost

struct KwDescription {
  int32_t loadedId = 0;  // the type whose description was loaded, 0 if none
  kwhost::DescriptionInfo info;
};

namespace kwhost {
// The table's load_description: parses the registered description file of
// type id again into d; FALSE when the type or the files are missing.
int32_t loadDescription(KwDescription* d, int32_t id);
}  // namespace kwhost

#endif
