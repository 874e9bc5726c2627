// The start state as it is stored in the tag's container: a count entry
// whose identifier START_COUNT_ID names, and pair k after it, its matrix at
// countId + 1 + 2k and its speed at countId + 2 + 2k. The record start
// command writes it (record_start.cpp); the update loads it back once per
// instance (execute.cpp).
#ifndef KW_START_TABLE_H
#define KW_START_TABLE_H

#include "Kestrelwood.h"

// The identifier of pair k's matrix (speed) after the count entry countId;
// FALSE when it leaves the 32-bit range (it would wrap onto an unrelated
// entry), and the pair's matrix (speed) then reads as absent.
Bool StartMatrixId(LONG countId, LONG k, LONG* id);
Bool StartSpeedId(LONG countId, LONG k, LONG* id);

// Writes START_RECORDED, the count entry and all MAX_AGENTS pairs from the
// instance and VistaHelper into the node's own container.
void StoreStartTable(const Kestrelwood& tag, BaseContainer& live);

#endif
