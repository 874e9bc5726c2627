// Tags on objects: each holds its container and the instance that its
// module's tag type created for it. Every call into the instance runs under
// the module's call scope (its allocation account), and no call is made once
// the type's module has been unloaded (the tag stays, inert).
#ifndef KWHOST_TAG_H
#define KWHOST_TAG_H

#include <cstdint>
#include <memory>
#include <string>

#include "core/description.h"
#include "core/node.h"
#include "core/result.h"

namespace kwhost {

class Object;
struct TagType;
class RecordingViewport;

class Tag : public Node {
 public:
  ~Tag() override;  // destroys the instance in its module's scope

  Document* document() const override;
  const KwDocument* documentHandle() const override;
  int32_t type() const override;
  std::string name() const override;
  Object* object() const { return obj_; }
  Tag* next() const;
  const TagType& tagType() const { return *type_; }
  // False once the module of the type has been unloaded.
  bool alive() const { return instance_ != nullptr; }
  void* instance() const { return instance_; }

  // The table calls of the tag type; a dead tag answers with the value in
  // brackets: execute result (-1), draw/message/description FALSE.
  int32_t execute(int32_t priority = 0, int32_t flags = 0);
  bool draw(RecordingViewport& viewport);
  bool message(int32_t type, void* data);
  // GetDDescription: the description the tag loaded (and the flags it set),
  // or an error when it answered FALSE.
  Result<DescriptionInfo> description(int32_t* flags = nullptr);

  // Destroys the instance now (module unload); the tag then stays inert.
  void killInstance();
  // Replaces the instance with a fresh one, as a tag read from a file gets
  // (the type's create, then init), and keeps the container as it was:
  // what the old instance kept from call to call is gone.
  Result<void> renewInstance();

 private:
  friend Result<Tag*> createTag(Object& obj, int32_t typeId);
  friend Result<Tag*> copyTag(const Tag& src, Object& dst);
  Tag(Object* obj, std::shared_ptr<TagType> type);

  Object* obj_;
  std::shared_ptr<TagType> type_;
  void* instance_ = nullptr;
};

// A new tag of a registered type at the end of obj's tags: the type's
// create, then init with the tag's node (the tag's defaults).
Result<Tag*> createTag(Object& obj, int32_t typeId);
// A new tag on dst with a copy of src's container and a fresh instance.
Result<Tag*> copyTag(const Tag& src, Object& dst);
void deleteTag(Tag* tag);

}  // namespace kwhost

#endif
