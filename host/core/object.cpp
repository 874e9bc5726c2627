#include "core/object.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/collider_ops.h"
#include "core/document.h"
#include "core/tag.h"
#include "core/transform.h"

namespace kwhost {

namespace {
// What every object starts with: no points, no triangles.
const std::shared_ptr<const Object::Geometry>& noGeometry() {
  static const auto empty = std::make_shared<const Object::Geometry>();
  return empty;
}
}  // namespace

Object::Object(Document* doc, std::string name, int32_t type)
    : Node(Kind::Object), doc_(doc), name_(std::move(name)), type_(type), local_(identityMatrix()),
      geometry_(noGeometry()) {
  if (type_ == kTypeCircle) data().setReal(kCircleRadiusId, kCircleRadiusDefault);
}

Object::~Object() {
  // Tags first: their instances may still look at the tree while they go.
  // Then the subtree, last child first, each object's tags before its
  // children, as nested destructors would, but walked in a loop: a
  // destructor per level would overflow the stack in a deep scene. Only
  // objects without children and tags are destroyed here, so none of their
  // destructors walks any further.
  while (!tags_.empty()) tags_.pop_back();
  Object* at = this;
  while (true) {
    if (!at->children_.empty()) {
      at = at->children_.back().get();
      while (!at->tags_.empty()) at->tags_.pop_back();
      continue;
    }
    if (at == this) break;
    at = at->parent_;
    at->children_.pop_back();
  }
}

std::vector<std::unique_ptr<Object>>& Object::siblings() const { return parent_ ? parent_->children_ : doc_->top_; }

Object* Object::next() const {
  auto& s = siblings();
  return index_ + 1 < s.size() ? s[index_ + 1].get() : nullptr;
}

Object* Object::previous() const { return index_ > 0 ? siblings()[index_ - 1].get() : nullptr; }

// A change of the local matrix makes the cached global matrices of the
// object and of everything below it stale; the crowd tag asks for global
// matrices hundreds of times between two moves of one agent.
void Object::localChanged() {
  if (!globalValid_) return;  // then nothing below is valid either
  globalValid_ = false;
  inverseValid_ = false;
  std::vector<Object*> stale;  // a list, not a call per level: trees may be deep
  for (auto& c : children_) stale.push_back(c.get());
  while (!stale.empty()) {
    Object* o = stale.back();
    stale.pop_back();
    if (!o->globalValid_) continue;
    o->globalValid_ = false;
    o->inverseValid_ = false;
    for (auto& c : o->children_) stale.push_back(c.get());
  }
}

void Object::rebuildLocal() {
  local_ = matrixFromPSR(pos_, rot_, scale_);
  localChanged();
}

void Object::setPSR(const KwVector& pos, const KwVector& rot, const KwVector& scale) {
  pos_ = pos;
  rot_ = rot;
  scale_ = scale;
  rebuildLocal();
}

void Object::setPosition(const KwVector& pos) {
  pos_ = pos;
  local_.off = pos;
  localChanged();
}

void Object::setRotation(const KwVector& rot) {
  rot_ = rot;
  rebuildLocal();
}

void Object::setScale(const KwVector& scale) {
  scale_ = scale;
  rebuildLocal();
}

KwMatrix Object::globalMatrix() const {
  // A valid child always has a valid parent: the stale ancestors are
  // computed first, from the topmost one down, in a loop (trees may be deep).
  if (!globalValid_ && (!parent_ || parent_->globalValid_)) {  // the usual case: one stale object
    global_ = parent_ ? multiply(parent_->global_, local_) : local_;
    globalValid_ = true;
  } else if (!globalValid_) {
    std::vector<const Object*> stale;
    for (const Object* o = this; o && !o->globalValid_; o = o->parent_) stale.push_back(o);
    for (auto it = stale.rbegin(); it != stale.rend(); ++it) {
      const Object* o = *it;
      o->global_ = o->parent_ ? multiply(o->parent_->global_, o->local_) : o->local_;
      o->globalValid_ = true;
    }
  }
  return global_;
}

KwMatrix Object::inverseGlobalMatrix() const {
  if (!inverseValid_) {
    inverseGlobal_ = inverse(globalMatrix());
    inverseValid_ = true;
  }
  return inverseGlobal_;
}

void Object::setGlobalMatrix(const KwMatrix& m, int32_t flag) {
  const KwMatrix local = parent_ ? multiply(parent_->inverseGlobalMatrix(), m) : m;
  if (sameAxesBits(local, local_)) {
    // Only the position moves: the stored rotation and scale stay exact.
    setPosition(local.off);
    return;
  }
  KwVector hpb = matrixToHPB(local);
  if (flag == 0) hpb = optimalAngle(rot_, hpb);
  rot_ = hpb;
  scale_ = axisLengths(local);
  pos_ = local.off;
  local_ = local;  // the matrix as given: reading it back gives m
  localChanged();
}

void Object::replaceGeometry(std::vector<KwVector> points, std::vector<uint32_t> tris) {
  geometry_ = std::make_shared<const Geometry>(Geometry{std::move(points), std::move(tris)});
  ++geometryVersion_;
  geometryReplaced(colliderShape_);
}

Result<void> Object::setTriangles(std::vector<KwVector> points, std::vector<uint32_t> tris) {
  if (tris.size() % 3 != 0) return fail("triangle index count " + std::to_string(tris.size()) + " is no multiple of 3");
  // The largest index first, in one pass without a branch (a ground's
  // millions of indices at the speed of memory); the culprit only when
  // there is one.
  uint32_t highest = 0;
  for (uint32_t i : tris) highest = std::max(highest, i);
  if (!tris.empty() && highest >= points.size())
    for (size_t i = 0; i < tris.size(); ++i)
      if (tris[i] >= points.size())
        return fail("triangle " + std::to_string(i / 3) + ": point index " + std::to_string(tris[i]) +
                    " out of range (" + std::to_string(points.size()) + " points)");
  replaceGeometry(std::move(points), std::move(tris));
  return {};
}

Result<void> Object::setMesh(std::vector<KwVector> points, const std::vector<std::vector<uint32_t>>& polygons) {
  std::vector<uint32_t> tris;
  tris.reserve(polygons.size() * 6);
  for (size_t p = 0; p < polygons.size(); ++p) {
    const auto& poly = polygons[p];
    if (poly.size() < 3)
      return fail("polygon " + std::to_string(p) + " has " + std::to_string(poly.size()) + " points, needs 3 or more");
    for (uint32_t idx : poly)
      if (idx >= points.size())
        return fail("polygon " + std::to_string(p) + ": point index " + std::to_string(idx) + " out of range (" +
                    std::to_string(points.size()) + " points)");
    // (a,b,c), (a,c,d), ...: a quad splits into (a,b,c) and (a,c,d).
    for (size_t k = 1; k + 1 < poly.size(); ++k) {
      tris.push_back(poly[0]);
      tris.push_back(poly[k]);
      tris.push_back(poly[k + 1]);
    }
  }
  replaceGeometry(std::move(points), std::move(tris));
  return {};
}

const KwDocument* Object::documentHandle() const { return doc_; }

}  // namespace kwhost
