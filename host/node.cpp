#include "node.h"

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
