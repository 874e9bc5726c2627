#include "crowd_snapshot.h"

Bool FillCrowdSnapshot(CrowdSnapshot* s, BaseObject* first) {
  LONG n = 0;
  for (BaseObject* c = first; c; c = c->GetNext(), ++n) {
    if (n == CrowdSnapshot::kCapacity) {
      s->count = -1;
      return FALSE;
    }
    s->object[n] = c;
    s->position[n] = c->GetGlobalMatrix().off;
    s->rotation[n] = c->GetRotation();
  }
  s->count = n;
  return TRUE;
}

void RefreshCrowdSnapshot(CrowdSnapshot* s, LONG index, BaseObject* child) {
  if (index < 0 || index >= s->count || s->object[index] != child) return;
  s->position[index] = child->GetGlobalMatrix().off;
  s->rotation[index] = child->GetRotation();
}
