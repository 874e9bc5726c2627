// The agent group's children as the neighbour rules see them during one
// evaluation: each child's global position and rotation, read from the host
// once when the step begins and again for each agent right after it moves.
// Between those moments nothing else changes a child (agents are siblings, so
// moving one never moves another), so reading the snapshot gives the very
// values the host would answer, without two host calls per neighbour pair.
#ifndef KW_CROWD_SNAPSHOT_H
#define KW_CROWD_SNAPSHOT_H

#include "c4d.h"

struct CrowdSnapshot {
  // Children beyond this make the rules read the host directly instead.
  static const LONG kCapacity = 256;
  LONG count;  // children held, or -1 when there are more than kCapacity
  BaseObject* object[kCapacity];
  Vector position[kCapacity];  // offset of the global matrix
  Vector rotation[kCapacity];  // heading, pitch, bank
};

// Reads every child from first on; false (count -1) when they do not fit.
Bool FillCrowdSnapshot(CrowdSnapshot* s, BaseObject* first);
// Reads child index again (after it was moved).
void RefreshCrowdSnapshot(CrowdSnapshot* s, LONG index, BaseObject* child);

#endif
