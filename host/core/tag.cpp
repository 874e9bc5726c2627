#include "core/tag.h"

#include <algorithm>

#include "core/call_scope.h"
#include "core/document.h"
#include "core/registry.h"
#include "core/viewport.h"

struct KwThread {};

namespace kwhost {

namespace {
KwThread g_mainThread;

// Puts a created tag on its object, runs init; removes it again on failure.
Result<Tag*> attach(Object& obj, std::unique_ptr<Tag> tag, std::vector<std::unique_ptr<Tag>>& list,
                    const TagType& type) {
  Tag* raw = tag.get();
  list.push_back(std::move(tag));
  int32_t ok = 1;
  if (type.funcs.init) {
    CallScope scope(type.module);
    ok = type.funcs.init(raw->instance(), raw);
  }
  if (!ok) {
    list.pop_back();
    return fail("tag type " + type.name + " refused to initialise a new tag");
  }
  return raw;
}
}  // namespace

Tag::Tag(Object* obj, std::shared_ptr<TagType> type) : Node(Kind::Tag), obj_(obj), type_(std::move(type)) {}

Tag::~Tag() { killInstance(); }

Document* Tag::document() const { return obj_ ? obj_->document() : nullptr; }
const KwDocument* Tag::documentHandle() const { return obj_ ? obj_->documentHandle() : nullptr; }
int32_t Tag::type() const { return type_->id; }
std::string Tag::name() const { return type_->name; }

Tag* Tag::next() const {
  const auto& list = obj_->tags();
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i].get() == this) return i + 1 < list.size() ? list[i + 1].get() : nullptr;
  return nullptr;
}

void Tag::killInstance() {
  if (instance_ && type_->module && type_->funcs.destroy) {
    CallScope scope(type_->module);
    type_->funcs.destroy(instance_);
  }
  instance_ = nullptr;
}

Result<void> Tag::renewInstance() {
  if (!type_->module || !type_->funcs.create) return fail("the module of tag type " + type_->name + " is not loaded");
  killInstance();
  const auto entries = data().entries;
  {
    CallScope scope(type_->module);
    instance_ = type_->funcs.create(type_->funcs.type_data);
  }
  if (!instance_) return fail("tag type " + type_->name + " could not create an instance (out of memory?)");
  int32_t ok = 1;
  if (type_->funcs.init) {
    CallScope scope(type_->module);
    ok = type_->funcs.init(instance_, this);
  }
  data().entries = entries;
  if (!ok) return fail("tag type " + type_->name + " refused to initialise a new tag");
  return {};
}

int32_t Tag::execute(int32_t priority, int32_t flags) {
  if (!alive() || !type_->funcs.execute) return -1;
  CallScope scope(type_->module);
  return type_->funcs.execute(instance_, this, document(), obj_, &g_mainThread, priority, flags);
}

bool Tag::draw(RecordingViewport& viewport) {
  if (!alive() || !type_->funcs.draw) return false;
  KwDrawHelp help{document()};
  CallScope scope(type_->module);
  return type_->funcs.draw(instance_, this, obj_, viewport.handle(), &help) != 0;
}

bool Tag::message(int32_t type, void* data) {
  if (!alive() || !type_->funcs.message) return false;
  CallScope scope(type_->module);
  return type_->funcs.message(instance_, this, type, data) != 0;
}

Result<DescriptionInfo> Tag::description(int32_t* flags) {
  if (!alive() || !type_->funcs.get_ddescription) return fail("the tag's module is not loaded");
  KwDescription d;
  int32_t f = flags ? *flags : 0;
  int32_t ok;
  {
    CallScope scope(type_->module);
    ok = type_->funcs.get_ddescription(instance_, this, &d, &f);
  }
  if (flags) *flags = f;
  if (!ok) return fail("tag " + type_->name + ": its description could not be loaded");
  if (d.loadedId == 0) return type_->parsed;
  return std::move(d.info);
}

Result<Tag*> createTag(Object& obj, int32_t typeId) {
  std::shared_ptr<TagType> type = findTagType(typeId);
  if (!type || !type->module) return fail("no tag type " + std::to_string(typeId) + " is registered");
  if (!type->funcs.create) return fail("tag type " + type->name + " cannot create tags");
  std::unique_ptr<Tag> tag(new Tag(&obj, type));
  {
    CallScope scope(type->module);
    tag->instance_ = type->funcs.create(type->funcs.type_data);
  }
  if (!tag->instance_) return fail("tag type " + type->name + " could not create an instance (out of memory?)");
  return attach(obj, std::move(tag), obj.tags_, *type);
}

Result<Tag*> copyTag(const Tag& src, Object& dst) {
  const std::shared_ptr<TagType>& type = src.type_;
  if (!type->module || !type->funcs.create) return fail("the module of tag type " + type->name + " is not loaded");
  std::unique_ptr<Tag> tag(new Tag(&dst, type));
  {
    CallScope scope(type->module);
    tag->instance_ = type->funcs.create(type->funcs.type_data);
  }
  if (!tag->instance_) return fail("tag type " + type->name + " could not create an instance (out of memory?)");
  auto made = attach(dst, std::move(tag), dst.tags_, *type);
  if (!made) return made;
  // The copy carries the source's parameters; its instance is a fresh one.
  made.value()->data().entries = src.data().entries;
  return made;
}

void deleteTag(Tag* tag) {
  if (!tag || !tag->object()) return;
  auto& list = tag->object()->tags_;
  auto it = std::find_if(list.begin(), list.end(), [&](const std::unique_ptr<Tag>& t) { return t.get() == tag; });
  if (it != list.end()) list.erase(it);
}

}  // namespace kwhost
