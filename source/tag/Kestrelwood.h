// The crowd tag: one instance steers every child of its agent group.
#ifndef KW_KESTRELWOOD_H
#define KW_KESTRELWOOD_H

#include "c4d.h"
#include "kestrelwood_params.h"
#include "vision_helper.h"

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

  // Steering rules of one agent.
  Vector controlla_ostacoli(BaseObject* agent, BaseObject* first, Real reach, Real halfWidth, Real angle,
                            LONG index);
  static Vector AgentsRepulsion(BaseObject* agent, BaseObject* group, Real radius, Real* factor);
  static Vector AgentsAlignment(BaseObject* agent, BaseObject* group, Real radius);
  static Vector Lookfortarget(BaseObject* agent, BaseObject* target);
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

// The obstacle and terrain rules as the update calls them, on the scene read
// once per step (scene_views.h); controlla_ostacoli and
// Verifica_collisione_terreno are these on the host's objects.
class ObstacleView;
struct TerrainView;
// controlla_ostacoli for the agent with global matrix a (obstacles.cpp).
Vector AvoidObstacles(Kestrelwood& tag, const ObstacleView& obstacles, const Matrix& a, Real reach, Real halfWidth,
                      Real angle, LONG index);
// Verifica_collisione_terreno on the terrain's matrices (terrain.cpp).
Bool FindGround(GeRayCollider* collider, const TerrainView& terrain, const Matrix& m, TVistaHelper* rec);

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
