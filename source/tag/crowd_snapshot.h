// The agent group's children as the neighbour rules see them during one
// evaluation: each child's global position and its heading and bank, read
// from the host once when the step begins and again for each agent right
// after it moves. Between those moments nothing else changes a child (agents
// are siblings, so moving one never moves another), so the snapshot holds
// the very values the host would answer, without two host calls per pair.
//
// Laid out for the scan: one array per value, 16-byte aligned and padded to
// whole groups of kSnapshotLanes entries (the padding is zero and never read
// as a neighbour). Sized to the group, in one block of the module's
// allocator.
#ifndef KW_CROWD_SNAPSHOT_H
#define KW_CROWD_SNAPSHOT_H

#include "c4d.h"

// Entries the scan reads at a time; every array is padded to a multiple.
static const LONG kSnapshotLanes = 8;

class CrowdSnapshot {
 public:
  CrowdSnapshot();
  ~CrowdSnapshot();
  CrowdSnapshot(const CrowdSnapshot&) = delete;
  CrowdSnapshot& operator=(const CrowdSnapshot&) = delete;

  // Reads every child from first on (none for null); FALSE, holding
  // nothing, when the memory for them cannot be had.
  Bool Fill(BaseObject* first);
  // Reads child index again (after it was moved); any other object or
  // index is passed over.
  void Refresh(LONG index, BaseObject* child);
  // The index of child, or -1; hint is tried first.
  LONG IndexOf(BaseObject* child, LONG hint) const;

  LONG Count() const { return count_; }
  LONG Lanes() const { return lanes_; }  // Count() rounded up to whole groups
  const Real* X() const { return x_; }
  const Real* Y() const { return y_; }
  const Real* Z() const { return z_; }
  const Real* Heading() const { return heading_; }
  const Real* Bank() const { return bank_; }

 private:
  Bool Reserve(LONG lanes);  // room for lanes entries, the ones held kept
  void Read(LONG index, BaseObject* child);

  LONG count_;
  LONG lanes_;
  LONG capacity_;  // entries the block holds room for
  char* block_;
  BaseObject** object_;
  Real* x_;
  Real* y_;
  Real* z_;
  Real* heading_;
  Real* bank_;
};

#endif
