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

#endif
