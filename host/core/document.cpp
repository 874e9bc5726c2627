#include "core/document.h"

#include <vector>

namespace kwhost {

namespace {
bool knownType(int32_t t) { return t == kTypeNull || t == kTypeCircle || t == kTypePolygon || t == kTypeCube; }
}  // namespace

Document::Document() = default;

Document::~Document() {
  while (!top_.empty()) top_.pop_back();
}

Result<void> Document::setTimeline(int32_t fps, int32_t minFrame, int32_t maxFrame) {
  if (fps < 1) return fail("fps must be 1 or more, not " + std::to_string(fps));
  if (maxFrame < minFrame)
    return fail("last frame " + std::to_string(maxFrame) + " lies before the first frame " + std::to_string(minFrame));
  fps_ = fps;
  minFrame_ = minFrame;
  maxFrame_ = maxFrame;
  setFrame(frame_);
  return {};
}

void Document::setFrame(int32_t frame) {
  frame_ = frame;
  time_ = KwTime{static_cast<double>(frame), static_cast<double>(fps_)};
}

Result<Object*> Document::createObject(std::string name, int32_t type, Object* parent) {
  if (name.empty()) return fail("an object needs a name");
  if (names_.count(name)) return fail("an object named \"" + name + "\" exists already");
  if (!knownType(type)) return fail("unknown object type " + std::to_string(type));
  if (parent && parent->document() != this) return fail("the parent lies in another document");
  std::unique_ptr<Object> obj(new Object(this, name, type));
  Object* raw = obj.get();
  raw->parent_ = parent;
  auto& list = parent ? parent->children_ : top_;
  raw->index_ = list.size();
  list.push_back(std::move(obj));
  names_.emplace(std::move(name), raw);
  return raw;
}

Result<void> Document::rename(Object& obj, std::string name) {
  if (obj.document() != this) return fail("the object lies in another document");
  if (name == obj.name_) return {};
  if (name.empty()) return fail("an object needs a name");
  if (names_.count(name)) return fail("an object named \"" + name + "\" exists already");
  names_.erase(obj.name_);
  obj.name_ = name;
  names_.emplace(std::move(name), &obj);
  return {};
}

void Document::deleteObject(Object* obj) {
  if (!obj || obj->document() != this) return;
  std::vector<Object*> gone{obj};  // a list, not a call per level: trees may be deep
  while (!gone.empty()) {
    Object* o = gone.back();
    gone.pop_back();
    names_.erase(o->name_);
    for (auto& c : o->children_) gone.push_back(c.get());
  }
  auto& list = obj->siblings();
  const size_t at = obj->index_;
  std::unique_ptr<Object> owned = std::move(list[at]);
  list.erase(list.begin() + static_cast<std::ptrdiff_t>(at));
  for (size_t i = at; i < list.size(); ++i) list[i]->index_ = i;
  owned.reset();
}

Object* Document::find(std::string_view name) const {
  auto it = names_.find(std::string(name));
  return it == names_.end() ? nullptr : it->second;
}

std::vector<Object*> Document::objectsPreOrder() const {
  std::vector<Object*> out;
  std::vector<Object*> stack;
  for (auto it = top_.rbegin(); it != top_.rend(); ++it) stack.push_back(it->get());
  while (!stack.empty()) {
    Object* o = stack.back();
    stack.pop_back();
    out.push_back(o);
    for (auto it = o->children_.rbegin(); it != o->children_.rend(); ++it) stack.push_back(it->get());
  }
  return out;
}

std::vector<Tag*> Document::tagsInOrder() const {
  std::vector<Tag*> out;
  for (Object* o : objectsPreOrder())
    for (auto& t : o->tags()) out.push_back(t.get());
  return out;
}

}  // namespace kwhost
