// Registration, creation, defaults and description of the crowd tag.
#include "Kestrelwood.h"

Kestrelwood::Kestrelwood() : startRecorded(0), turnSide(), startMatrix() {}

NodeData* Kestrelwood::Alloc() { return gNew Kestrelwood; }

Bool Kestrelwood::Init(GeListNode* node) {
  BaseContainer data = node->GetLiveData();
  data.SetBool(START_RECORDED, FALSE);
  data.SetReal(VISION_LENGTH, 1000.0f);
  data.SetReal(VISION_HALF_WIDTH, 200.0f);
  data.SetReal(AVOID_ANGLE, 0.7854f);  // not the float of pi/4
  data.SetReal(SPEED, 20.0f);
  data.SetReal(TARGET_WEIGHT, 10.0f);
  data.SetReal(REPULSION_WEIGHT, 20.0f);
  data.SetReal(ALIGNMENT_WEIGHT, 1.0f);
  data.SetReal(REPULSION_RADIUS, 200.0f);
  data.SetReal(ALIGNMENT_RADIUS, 800.0f);
  data.SetReal(SPEED_VARIATION, 0.0f);
  return TRUE;
}

Bool Kestrelwood::GetDDescription(GeListNode*, Description* description, LONG& flags) {
  if (!description->LoadDescription(ID_KESTRELWOOD)) return FALSE;
  flags |= DESCFLAGS_DESC_LOADED;
  return TRUE;
}

Bool RegisterKestrelwood() {
  String name = GeLoadString(IDS_KESTRELWOOD);
  if (!name.GetLength()) return TRUE;  // no name: nothing to register
  return RegisterTagPlugin(ID_KESTRELWOOD, name, TAG_VISIBLE | TAG_EXPRESSION, Kestrelwood::Alloc,
                           String("Tkestrelwoodexp"), String("kestrelwood.tif"), 0);
}
