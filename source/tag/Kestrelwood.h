// The crowd tag: one instance steers every child of its agent group.
#ifndef KW_KESTRELWOOD_H
#define KW_KESTRELWOOD_H

#include "c4d.h"
#include "kestrelwood_params.h"
#include "vision_helper.h"

// What the rules read of the scene once per step (scene_views.h) and the
// neighbour rules' sums (neighbour_scan.h).
class ObstacleView;
struct TerrainView;
struct NeighbourSums;

class Kestrelwood : public TagData {
 public:
  static NodeData* Alloc();

  // Host operations.
  Bool Init(GeListNode* node) override;
  Bool Message(GeListNode* node, LONG type, void* data) override;
  Bool GetDDescription(GeListNode* node, Description* description, LONG& flags) override;
  Bool Draw(PluginTag* tag, BaseObject* op, BaseDraw* bd, BaseDrawHelp* bh) override;
  LONG Execute(PluginTag* tag, BaseDocument* doc, BaseObject* op, BaseThread* bt, LONG priority,
               LONG flags) override;

  // Geometry of the steering rules.
  static Matrix MatrixglobalrotY(Matrix m, Real angle);
  static Vector GetNewOrientation(LONG side, BaseObject* op, Real angle);
  static Real distanza(BaseObject* a, BaseObject* b);
  static Real VectorInSphere(Vector origin, Vector direction, Real reach, Vector centre, Real radius);
  static Vector VectorProjection(Real length, Vector direction, Vector base);

  // The vision probe of an agent as a record with its corners filled in.
  static TVistaHelper CreaVistaHelper(Matrix mg, TVistaHelper rec, Real length, Real halfWidth);

  // Steering rules of one agent, in the forms the update calls: on the scene
  // as read once per step (scene_views.h) and on one scan of the crowd for
  // both neighbour rules (neighbour_scan.h). Each has a face on the host's
  // objects that reads what the rule needs and calls that form.
  Vector controlla_ostacoli(const ObstacleView& obstacles, const Matrix& agent, Real reach, Real halfWidth, Real angle,
                            LONG index);
  Vector controlla_ostacoli(BaseObject* agent, BaseObject* first, Real reach, Real halfWidth, Real angle,
                            LONG index);
  static Vector AgentsRepulsion(const NeighbourSums& sums, Real radius, Real* factor);
  static Vector AgentsRepulsion(BaseObject* agent, BaseObject* group, Real radius, Real* factor);
  static Vector AgentsAlignment(const NeighbourSums& sums);
  static Vector AgentsAlignment(BaseObject* agent, BaseObject* group, Real radius);
  static Vector Lookfortarget(const Vector& agent, const Vector& target);
  static Vector Lookfortarget(BaseObject* agent, BaseObject* target);
  static Bool Verifica_collisione_terreno(GeRayCollider* collider, const TerrainView& terrain, const Matrix& m,
                                          TVistaHelper* rec);
  static Bool Verifica_collisione_terreno(GeRayCollider* collider, BaseObject* terrain, Matrix m,
                                          TVistaHelper* rec);

  // Instance data; not saved: rebuilt from the stored start table.
  LONG startRecorded;             // copy of START_RECORDED once loaded
  LONG turnSide[MAX_AGENTS];      // +1 / -1 while avoiding, 0 otherwise
  Matrix startMatrix[MAX_AGENTS]; // recorded global matrices

 private:
  Kestrelwood();
};

Bool RegisterKestrelwood();

// The update's arithmetic (execute.cpp).
// The frame of a document time: the integer part of floor(fps * numerator) /
// floor(denominator), the product and the floors in single precision, the
// quotient in double. A quotient beyond the 32-bit range is clamped to it;
// one that is not a number (0 / 0) counts as the earliest frame.
LONG FrameOf(const BaseTime& time, LONG fps);
// One tenth of the way from the rotation r toward w in heading (the short
// way round) and bank; the pitch stays.
Vector EaseOrientation(const Vector& r, const Vector& w);
// The position off moved f units along the horizontal direction of the
// heading, in double precision rounded to Real; the height stays.
Vector PlannedPosition(const Vector& off, Real heading, Real f);

#endif
