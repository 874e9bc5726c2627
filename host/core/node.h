// The common part of scene nodes (objects and tags): kind, parameters and a
// serial that weak links name. Every live node is listed in a process-wide
// registry, so a link can tell a deleted node from a live one.
#ifndef KWHOST_NODE_H
#define KWHOST_NODE_H

#include <cstdint>
#include <functional>
#include <string>

#include "core/container.h"

namespace kwhost {
class Document;
}

struct KwNode {
  enum class Kind { Object, Tag };

  explicit KwNode(Kind k);
  virtual ~KwNode();
  KwNode(const KwNode&) = delete;
  KwNode& operator=(const KwNode&) = delete;

  Kind kind() const { return kind_; }
  uint64_t serial() const { return serial_; }

  virtual kwhost::Document* document() const = 0;
  // The same document as the handle the function table passes (null when none).
  virtual const KwDocument* documentHandle() const = 0;
  virtual int32_t type() const = 0;  // object type, or the tag's plug-in id
  virtual std::string name() const = 0;

  // The node's own parameters (GetLiveData).
  kwhost::Container& data() { return data_; }
  const kwhost::Container& data() const { return data_; }

 private:
  Kind kind_;
  uint64_t serial_;
  kwhost::Container data_;
};

namespace kwhost {

using Node = ::KwNode;

// The live node with this serial, or null (never a dangling pointer).
Node* liveNode(uint64_t serial);
// Calls fn for every live node (under the registry's lock: fn must not
// create or delete nodes).
void forEachLiveNode(const std::function<void(Node&)>& fn);

}  // namespace kwhost

#endif
