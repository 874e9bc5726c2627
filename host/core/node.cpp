#include "core/node.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace kwhost {
namespace {

struct NodeRegistry {
  std::mutex mutex;
  std::unordered_map<uint64_t, Node*> nodes;
  std::atomic<uint64_t> nextSerial{1};
};

NodeRegistry& registry() {
  static auto* r = new NodeRegistry();  // outlives every static document
  return *r;
}

}  // namespace

Node* liveNode(uint64_t serial) {
  if (serial == 0) return nullptr;
  NodeRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  auto it = r.nodes.find(serial);
  return it == r.nodes.end() ? nullptr : it->second;
}

void forEachLiveNode(const std::function<void(Node&)>& fn) {
  NodeRegistry& r = registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  for (auto& [serial, node] : r.nodes) fn(*node);
}

}  // namespace kwhost

KwNode::KwNode(Kind k) : kind_(k), serial_(kwhost::registry().nextSerial.fetch_add(1)) {
  auto& r = kwhost::registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.nodes.emplace(serial_, this);
}

KwNode::~KwNode() {
  auto& r = kwhost::registry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.nodes.erase(serial_);
}

// A container's links hold serials; they resolve through the registry of
// live nodes above, so these members of the container live with the nodes.
KwNode* KwContainer::getLinkAnywhere(int32_t id) const {
  const kwhost::EntryValue* v = find(id);
  if (!v) return nullptr;
  auto* l = std::get_if<kwhost::LinkValue>(v);
  return l ? kwhost::liveNode(l->serial) : nullptr;
}

KwNode* KwContainer::getLink(int32_t id, const KwDocument* doc) const {
  if (!doc) return nullptr;
  KwNode* n = getLinkAnywhere(id);
  if (!n || n->documentHandle() != doc) return nullptr;
  return n;
}

void KwContainer::setLink(int32_t id, const KwNode* node) { entries[id] = kwhost::LinkValue{node ? node->serial() : 0}; }
