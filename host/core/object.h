// Scene objects: a tree (first child, next sibling, parent) owned by its
// document, with the transform model of the substitute host:
//  - local matrix: offset = position; axes from (H, P, B), each times its
//    scale component; global = parent's global x local;
//  - GetRotation gives the stored rotation; SetRotation stores it exactly
//    and rebuilds the axes from it and the scale, position kept;
//  - SetGlobalMatrix(m, flag): local = inverse(parent's global) x m;
//    position = its offset; when its axes are bit for bit those of the
//    current local matrix only the position moves, otherwise the rotation is
//    MatrixToHPB of it (made the nearest equivalent of the stored rotation
//    with GetOptimalAngle when flag is 0) and the scale its axis lengths.
#ifndef KWHOST_OBJECT_H
#define KWHOST_OBJECT_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/node.h"
#include "core/result.h"

namespace kwhost {

class Tag;
struct ColliderShape;

// Host object types.
enum ObjectType : int32_t {
  kTypeNull = KW_OBJECT_NULL,
  kTypeCircle = KW_OBJECT_CIRCLE,  // circle spline; radius in KW_PRIM_CIRCLE_RADIUS
  kTypePolygon = KW_OBJECT_POLYGON,
  kTypeCube = KW_OBJECT_CUBE,
};
constexpr int32_t kCircleRadiusId = KW_PRIM_CIRCLE_RADIUS;
constexpr float kCircleRadiusDefault = 200.0f;

class Object : public Node {
 public:
  ~Object() override;

  Document* document() const override { return doc_; }
  const KwDocument* documentHandle() const override;
  int32_t type() const override { return type_; }
  std::string name() const override { return name_; }
  const std::string& nameRef() const { return name_; }

  // Tree.
  Object* parent() const { return parent_; }
  Object* firstChild() const { return children_.empty() ? nullptr : children_.front().get(); }
  Object* next() const;
  Object* previous() const;
  const std::vector<std::unique_ptr<Object>>& children() const { return children_; }

  // Tags, in evaluation order.
  const std::vector<std::unique_ptr<Tag>>& tags() const { return tags_; }

  // Transform.
  const KwVector& position() const { return pos_; }
  const KwVector& rotation() const { return rot_; }
  const KwVector& scale() const { return scale_; }
  // Sets position, rotation and scale and rebuilds the local matrix.
  void setPSR(const KwVector& pos, const KwVector& rot, const KwVector& scale);
  void setPosition(const KwVector& pos);
  void setRotation(const KwVector& rot);  // the table's SetRotation
  void setScale(const KwVector& scale);
  const KwMatrix& localMatrix() const { return local_; }
  KwMatrix globalMatrix() const;
  // The affine inverse of globalMatrix(), kept with it: a child's
  // SetGlobalMatrix needs it for every write.
  KwMatrix inverseGlobalMatrix() const;
  void setGlobalMatrix(const KwMatrix& m, int32_t flag);  // the table's SetGlobalMatrix

  // Geometry of a polygon object, local coordinates; three indices per
  // triangle. Never changed in place: every write replaces it whole, so
  // whoever holds a Geometry may read it for as long as it holds it.
  struct Geometry {
    std::vector<KwVector> points;
    std::vector<uint32_t> tris;
  };
  const std::vector<KwVector>& points() const { return geometry_->points; }
  const std::vector<uint32_t>& triangles() const { return geometry_->tris; }
  const std::shared_ptr<const Geometry>& geometry() const { return geometry_; }
  // Polygons of 3 or more indices: quads split (a,b,c),(a,c,d), n-gons
  // fanned from their first point. Fails (object unchanged) on an index out
  // of range or a polygon of fewer than 3 points.
  Result<void> setMesh(std::vector<KwVector> points, const std::vector<std::vector<uint32_t>>& polygons);
  // Triangles as they are; fails on an index out of range or a count that is no multiple of 3.
  Result<void> setTriangles(std::vector<KwVector> points, std::vector<uint32_t> tris);

  // Bumped by every write of the points or triangles above (the host owns
  // each such write), never by a move: what the ray-collision structure
  // below was built on is known without reading the geometry again.
  uint64_t geometryVersion() const { return geometryVersion_; }
  // The ray-collision structure built on this object's geometry, shared by
  // every collider handle initialised on it (collider_ops.h); it goes with
  // the object. A change of the geometry lets the old geometry go and the
  // structure is rebuilt at the next init (a handle still initialised on
  // the old geometry keeps both alive until it is freed).
  std::shared_ptr<ColliderShape>& colliderShape() { return colliderShape_; }

  // Circle spline radius (parameter KW_PRIM_CIRCLE_RADIUS).
  float radius() const { return data().getReal(kCircleRadiusId, kCircleRadiusDefault); }

 private:
  friend class Document;
  friend class Tag;
  friend Result<Tag*> createTag(Object& obj, int32_t typeId);
  friend Result<Tag*> copyTag(const Tag& src, Object& dst);
  friend void deleteTag(Tag* tag);
  Object(Document* doc, std::string name, int32_t type);
  void rebuildLocal();
  std::vector<std::unique_ptr<Object>>& siblings() const;

  Document* doc_;
  std::string name_;
  int32_t type_;
  Object* parent_ = nullptr;
  size_t index_ = 0;  // position among the siblings
  std::vector<std::unique_ptr<Object>> children_;
  std::vector<std::unique_ptr<Tag>> tags_;
  KwVector pos_{0, 0, 0}, rot_{0, 0, 0}, scale_{1, 1, 1};
  KwMatrix local_;
  void localChanged();
  mutable KwMatrix global_{};        // cache of globalMatrix()
  mutable bool globalValid_ = false;  // global_ is current
  mutable KwMatrix inverseGlobal_{};  // cache of inverseGlobalMatrix()
  mutable bool inverseValid_ = false; // inverseGlobal_ is current (then so is global_)
  void replaceGeometry(std::vector<KwVector> points, std::vector<uint32_t> tris);
  std::shared_ptr<const Geometry> geometry_;  // never null
  uint64_t geometryVersion_ = 1;
  std::shared_ptr<ColliderShape> colliderShape_;
};

}  // namespace kwhost

#endif
