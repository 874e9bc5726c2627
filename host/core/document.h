// A scene: its object tree, its time line and unique object names.
// Frame f is the time f / fps (numerator f, denominator fps).
#ifndef KWHOST_DOCUMENT_H
#define KWHOST_DOCUMENT_H

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "c4d_hosttable.h"
#include "core/object.h"
#include "core/result.h"
#include "core/tag.h"

struct KwDocument {};

namespace kwhost {

class Document : public KwDocument {
 public:
  Document();
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  static Document* from(KwDocument* d) { return static_cast<Document*>(d); }
  static const Document* from(const KwDocument* d) { return static_cast<const Document*>(d); }
  KwDocument* handle() { return this; }

  // Time line.
  int32_t fps() const { return fps_; }
  int32_t minFrame() const { return minFrame_; }
  int32_t maxFrame() const { return maxFrame_; }
  // fps >= 1 and minFrame <= maxFrame, else an error and nothing changes.
  Result<void> setTimeline(int32_t fps, int32_t minFrame, int32_t maxFrame);
  void setFrame(int32_t frame);  // time = frame / fps
  int32_t frame() const { return frame_; }
  KwTime time() const { return time_; }
  KwTime minTime() const { return KwTime{static_cast<double>(minFrame_), static_cast<double>(fps_)}; }

  // Objects. Names are unique in the document and not empty. parent null:
  // a top-level object. The new object goes to the end of its siblings.
  Result<Object*> createObject(std::string name, int32_t type, Object* parent = nullptr);
  Result<void> rename(Object& obj, std::string name);
  // Deletes obj with its children and tags; links to them then read null.
  void deleteObject(Object* obj);
  Object* find(std::string_view name) const;
  const std::vector<std::unique_ptr<Object>>& objects() const { return top_; }
  Object* firstObject() const { return top_.empty() ? nullptr : top_.front().get(); }
  // Depth-first pre-order: the order of evaluation.
  std::vector<Object*> objectsPreOrder() const;
  // All tags in evaluation order: objects in pre-order, tags in their order.
  std::vector<Tag*> tagsInOrder() const;

 private:
  friend class Object;
  int32_t fps_ = 30, minFrame_ = 0, maxFrame_ = 300, frame_ = 0;
  KwTime time_{0.0, 30.0};
  std::vector<std::unique_ptr<Object>> top_;
  std::unordered_map<std::string, Object*> names_;
};

}  // namespace kwhost

#endif
