#include "start_table.h"

namespace {

// Identifier of entry `delta` after the count entry, or false when it does
// not fit a 32-bit identifier (it would wrap to an unrelated entry).
bool PairId(LONG countId, int64_t delta, LONG* id) {
  int64_t v = static_cast<int64_t>(countId) + delta;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  *id = static_cast<LONG>(v);
  return true;
}

}  // namespace

void LoadStartTable(Kestrelwood& tag, GeListNode* node) {
  LONG countId = node->GetData().GetLong(START_COUNT_ID, 0);
  LONG n = node->GetData().GetLong(countId, 0);
  if (n > MAX_AGENTS) n = MAX_AGENTS;
  for (LONG k = 0; k < n; ++k) {
    LONG matrixId = 0;
    LONG speedId = 0;
    tag.startMatrix[k] = PairId(countId, 1 + 2 * static_cast<int64_t>(k), &matrixId)
                             ? node->GetData().GetMatrix(matrixId, Matrix())
                             : Matrix();
    VistaHelper[k].speed = PairId(countId, 2 + 2 * static_cast<int64_t>(k), &speedId)
                               ? node->GetData().GetReal(speedId, 0.0f)
                               : 0.0f;
  }
}

void StoreStartTable(const Kestrelwood& tag, BaseContainer& live) {
  live.SetBool(START_RECORDED, tag.startRecorded);
  live.SetLong(START_COUNT_ID, START_COUNT);
  live.SetLong(START_COUNT, MAX_AGENTS);
  for (LONG k = 0; k < MAX_AGENTS; ++k) {
    live.SetMatrix(START_MATRIX + 2 * k, tag.startMatrix[k]);
    live.SetReal(START_SPEED + 2 * k, VistaHelper[k].speed);
  }
}
