#include "core/registry.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

#include "core/call_scope.h"
#include "core/node.h"
#include "core/resources.h"
#include "core/host_strings.h"
#include "core/tag.h"

namespace kwhost {

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::shared_ptr<TagType>> types;
};

Registry& reg() {
  static auto* r = new Registry();
  return *r;
}

// The module hears FALSE; the reason is kept with it for the loader.
int32_t refuse(std::string why) {
  noteRefusal("tag registration refused: " + std::move(why));
  return 0;
}

bool safeName(const std::string& s) {
  return !s.empty() && s.find('/') == std::string::npos && s.find('\\') == std::string::npos && s != "." &&
         s != "..";
}

}  // namespace

int32_t registerTag(int32_t id, const KwString* name, int32_t info, const KwTagFuncs* funcs, const char* description,
                    const char* icon, int32_t disklevel) {
  ModuleContext* module = currentModule();
  const std::string idText = "tag " + std::to_string(id);
  if (!module) return refuse(idText + ": registered outside a module's start");
  if (!name || name->bytes.empty()) return refuse(idText + ": no name");
  if (!funcs || !funcs->create || !funcs->destroy) return refuse(idText + ": no create/destroy functions");
  if (!description || !icon) return refuse(idText + ": no description or icon name");
  if (findTagType(id)) return refuse(idText + ": the id is registered already");

  const std::string res = joinPath(module->folder, "res");
  const std::string iconName = icon;
  if (!safeName(iconName)) return refuse(idText + ": invalid icon name \"" + iconName + "\"");
  const std::string iconPath = joinPath(res, iconName);
  if (!isTiffFile(iconPath)) return refuse(idText + ": icon " + iconPath + " is missing or no TIFF image");
  auto parsed = loadDescriptionFiles(res, description);
  if (!parsed) return refuse(idText + ": description: " + parsed.error());

  auto type = std::make_shared<TagType>();
  type->id = id;
  type->name = name->bytes;
  type->info = info;
  type->funcs = *funcs;
  type->description = description;
  type->icon = iconName;
  type->diskLevel = disklevel;
  type->resFolder = res;
  type->parsed = std::move(parsed.value());
  type->module = module;
  std::lock_guard<std::mutex> lock(reg().mutex);
  reg().types.push_back(std::move(type));
  return 1;
}

std::shared_ptr<TagType> findTagType(int32_t id) {
  std::lock_guard<std::mutex> lock(reg().mutex);
  for (auto& t : reg().types)
    if (t->id == id) return t;
  return nullptr;
}

std::shared_ptr<TagType> findTagType(std::string_view name) {
  std::lock_guard<std::mutex> lock(reg().mutex);
  for (auto& t : reg().types)
    if (t->name == name) return t;
  return nullptr;
}

std::vector<std::shared_ptr<TagType>> registeredTagTypes() {
  std::lock_guard<std::mutex> lock(reg().mutex);
  return reg().types;
}

const DescriptionInfo* findDescription(std::string_view name) {
  std::lock_guard<std::mutex> lock(reg().mutex);
  for (auto& t : reg().types)
    if (t->description == name || t->name == name) return &t->parsed;
  return nullptr;
}

void unregisterModule(ModuleContext* module) {
  if (!module) return;
  // Every tag of the module's types loses its instance first.
  std::vector<Tag*> tags;
  forEachLiveNode([&](Node& n) {
    if (n.kind() != Node::Kind::Tag) return;
    auto& t = static_cast<Tag&>(n);
    if (t.tagType().module == module) tags.push_back(&t);
  });
  for (Tag* t : tags) t->killInstance();
  std::lock_guard<std::mutex> lock(reg().mutex);
  auto& v = reg().types;
  for (auto& t : v)
    if (t->module == module) t->module = nullptr;
  v.erase(std::remove_if(v.begin(), v.end(), [](const std::shared_ptr<TagType>& t) { return !t->module; }), v.end());
}

int32_t loadDescription(KwDescription* d, int32_t id) {
  if (!d) return 0;
  std::shared_ptr<TagType> type = findTagType(id);
  if (!type) return 0;
  auto parsed = loadDescriptionFiles(type->resFolder, type->description);
  if (!parsed) {
    std::fprintf(stderr, "kestrelwood host: description of tag %d: %s\n", id, parsed.error().c_str());
    return 0;
  }
  d->info = std::move(parsed.value());
  d->loadedId = id;
  return 1;
}

}  // namespace kwhost
