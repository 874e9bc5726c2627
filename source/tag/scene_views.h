// What one evaluation reads of the scene besides the agents, read once
// instead of once per agent: the circle obstacles (their radius parameter,
// from a copy of each one's container, and their position), the target's
// position and the terrain's matrix with its inverse.
//
// Only moving an agent changes anything during the step, and that moves the
// agent and what lies below it in the tree, nothing else. So a position read
// once stays what the host would answer, unless its object lies below the
// agent group: such an object is marked moving and read whenever used.
#ifndef KW_SCENE_VIEWS_H
#define KW_SCENE_VIEWS_H

#include "c4d.h"

// True when group is a proper ancestor of op (op then moves with an agent).
Bool MovesWithCrowd(BaseObject* op, BaseObject* group);

// A position that is read once, or on every use when it moves with the crowd.
struct PlaceView {
  BaseObject* object;
  Bool moves;
  Vector off;  // its global position when it does not move
  void Set(BaseObject* op, BaseObject* group);
  Vector Get() const { return moves ? object->GetGlobalMatrix().off : off; }
};

struct ObstacleEntry {
  PlaceView centre;
  Real radius;  // parameter 2012, 0.0 when absent
};

// The circle splines of a sibling chain, in chain order; other types are
// passed over.
class ObstacleView {
 public:
  ObstacleView();
  ~ObstacleView();
  ObstacleView(const ObstacleView&) = delete;
  ObstacleView& operator=(const ObstacleView&) = delete;

  // group: the agent group (null: nothing moves). FALSE, holding nothing,
  // when the memory for them cannot be had.
  Bool Fill(BaseObject* first, BaseObject* group);
  LONG Count() const { return count_; }
  const ObstacleEntry& operator[](LONG i) const { return entry_[i]; }

 private:
  LONG count_;
  LONG capacity_;
  ObstacleEntry* entry_;
};

// The terrain's global matrix and its affine inverse.
struct TerrainView {
  BaseObject* object;
  Bool moves;
  Matrix global, inverse;  // when it does not move
  void Set(BaseObject* op, BaseObject* group);
  // The current pair (read again when it moves).
  void Get(Matrix* g, Matrix* inv) const;
};

#endif
