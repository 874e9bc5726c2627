// One agent's pass over the crowd snapshot for both neighbour rules at once:
// they share each pair's offset and distance, and nothing moves between them.
//
// Every pair is computed as the rules state it, in single precision and in
// the same order of operations. The pass over all pairs runs four to a
// register: whether a pair is within a radius is told by its squared
// distance against the largest square whose (exactly rounded, so
// monotonic) root stays within the radius, and the alignment sums are still
// added pair by pair in child order (a pair out of reach adds +0, which
// leaves a sum that started at +0 exactly as it was). The few pairs within
// the repulsion radius are then taken one by one, in child order; the least
// distance to the point ahead is the root of the least square. The pass has
// no branch that depends on the data.
#ifndef KW_NEIGHBOUR_SCAN_H
#define KW_NEIGHBOUR_SCAN_H

#include "crowd_snapshot.h"

struct NeighbourSums {
  Vector push;        // repulsion: the weighted unit pushes, summed in child order
  Real nearestAhead;  // least distance from a neighbour within the repulsion radius to the
                      // point ahead; the radius itself when none comes nearer
  Real sumH, sumB;    // alignment: headings and banks within the alignment radius, in child order
  LONG count;         // neighbours within the alignment radius
};

// self: the agent's index in the snapshot (-1: not in it, every child is a
// neighbour); off: its global position; ahead: off + repulsionRadius * v3 of
// its global matrix. A rule whose radius is not greater than 0 finds no
// neighbour.
void ScanNeighbours(const CrowdSnapshot& crowd, LONG self, const Vector& off, const Vector& ahead,
                    Real repulsionRadius, Real alignmentRadius, NeighbourSums* out);

// What the rules make of the sums: Kestrelwood::AgentsRepulsion and
// AgentsAlignment (neighbours.cpp).

#endif
