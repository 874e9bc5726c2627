#include "start_table.h"

namespace {

// Identifier of entry `delta` after the count entry, or false when it does
// not fit a 32-bit identifier.
bool EntryId(LONG countId, int64_t delta, LONG* id) {
  int64_t v = static_cast<int64_t>(countId) + delta;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  *id = static_cast<LONG>(v);
  return true;
}

}  // namespace

Bool StartMatrixId(LONG countId, LONG k, LONG* id) { return EntryId(countId, 1 + 2 * static_cast<int64_t>(k), id); }

Bool StartSpeedId(LONG countId, LONG k, LONG* id) { return EntryId(countId, 2 + 2 * static_cast<int64_t>(k), id); }

void StoreStartTable(const Kestrelwood& tag, BaseContainer& live) {
  live.SetBool(START_RECORDED, tag.startRecorded);
  live.SetLong(START_COUNT_ID, START_COUNT);
  live.SetLong(START_COUNT, MAX_AGENTS);
  for (LONG k = 0; k < MAX_AGENTS; ++k) {
    live.SetMatrix(START_MATRIX + 2 * k, tag.startMatrix[k]);
    live.SetReal(START_SPEED + 2 * k, VistaHelper[k].speed);
  }
}
