// The start state as it is stored in the tag's container: a count entry
// whose identifier START_COUNT_ID names, and pairs (matrix, speed) after it.
#ifndef KW_START_TABLE_H
#define KW_START_TABLE_H

#include "Kestrelwood.h"

// Loads the stored pairs into tag.startMatrix and the speeds of VistaHelper,
// at most MAX_AGENTS of them. Pair k sits at countId + 1 + 2k (matrix) and
// countId + 2 + 2k (speed); a pair whose identifiers leave the 32-bit range
// reads as absent (identity, 0.0).
// Every entry is read from a fresh copy of node's container.
void LoadStartTable(Kestrelwood& tag, GeListNode* node);

// Writes START_RECORDED, the count entry and all MAX_AGENTS pairs from the
// instance and VistaHelper into the node's own container.
void StoreStartTable(const Kestrelwood& tag, BaseContainer& live);

#endif
