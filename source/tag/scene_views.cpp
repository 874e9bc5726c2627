#include "scene_views.h"

#include "affine_inverse.h"
#include "kestrelwood_params.h"

Bool MovesWithCrowd(BaseObject* op, BaseObject* group) {
  if (!op || !group) return FALSE;
  for (BaseObject* up = op->GetUp(); up; up = up->GetUp())
    if (up == group) return TRUE;
  return FALSE;
}

void PlaceView::Set(BaseObject* op, BaseObject* group) {
  object = op;
  moves = MovesWithCrowd(op, group);
  off = moves ? Vector() : op->GetGlobalMatrix().off;
}

ObstacleView::ObstacleView() : count_(0), capacity_(0), entry_(nullptr) {}

ObstacleView::~ObstacleView() { delete[] entry_; }

Bool ObstacleView::Fill(BaseObject* first, BaseObject* group) {
  count_ = 0;
  for (BaseObject* n = first; n; n = n->GetNext()) {
    if (n->GetType() != Ospline_circle) continue;
    if (count_ == capacity_) {
      LONG grown = capacity_ ? 2 * capacity_ : 16;
      if (grown <= capacity_ || static_cast<size_t>(grown) > static_cast<size_t>(-1) / sizeof(ObstacleEntry)) {
        count_ = 0;
        return FALSE;
      }
      ObstacleEntry* e = gNew ObstacleEntry[grown];
      if (!e) {
        count_ = 0;
        return FALSE;
      }
      for (LONG i = 0; i < count_; ++i) e[i] = entry_[i];
      delete[] entry_;
      entry_ = e;
      capacity_ = grown;
    }
    ObstacleEntry& e = entry_[count_++];
    e.radius = n->GetData().GetReal(PRIM_CIRCLE_RADIUS, 0.0f);
    e.centre.Set(n, group);
  }
  return TRUE;
}

void TerrainView::Set(BaseObject* op, BaseObject* group) {
  object = op;
  moves = MovesWithCrowd(op, group);
  if (!op || moves) return;
  global = op->GetGlobalMatrix();
  inverse = AffineInverse(global);
}

void TerrainView::Get(Matrix* g, Matrix* inv) const {
  if (moves) {
    *g = object->GetGlobalMatrix();
    *inv = AffineInverse(*g);
    return;
  }
  *g = global;
  *inv = inverse;
}
