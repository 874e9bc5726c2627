// The tag's message hook: the RECORD_START button records the crowd's start
// state (matrices and individually varied speeds) and stores it in the tag.
#include "Kestrelwood.h"
#include "start_table.h"

namespace {

// Seed of the speed draws: the same on every press, so the same agents get
// the same speeds each time.
const ULONG kSpeedSeed = 1234567;

bool IsRecordStart(LONG type, void* data) {
  if (type != MSG_DESCRIPTION_COMMAND || !data) return false;
  const DescriptionCommand* dc = static_cast<const DescriptionCommand*>(data);
  return dc->id[0].id == RECORD_START;
}

}  // namespace

Bool Kestrelwood::Message(GeListNode* node, LONG type, void* data) {
  if (!IsRecordStart(type, data)) return TRUE;
  BaseDocument* doc = node->GetDocument();
  if (!doc) return TRUE;

  // A missing group records as a group without agents.
  BaseObject* group = node->GetData().GetObjectLink(AGENTS_GROUP, doc);
  BaseObject* first = group ? group->GetDown() : nullptr;

  Random rnd;
  rnd.Init(kSpeedSeed);
  Real speed = node->GetData().GetReal(SPEED, 0.0f);
  Real variation = node->GetData().GetReal(SPEED_VARIATION, 0.0f);

  if (first) {
    Real spread = variation * speed * 0.5f;
    LONG k = 0;
    for (BaseObject* a = first; a && k < MAX_AGENTS; a = a->GetNext(), ++k) {
      startMatrix[k] = a->GetGlobalMatrix();
      Real r = rnd.Get11();
      VistaHelper[k].speed = r * spread + speed;
      turnSide[k] = 0;
    }
  }

  startRecorded = TRUE;
  BaseContainer live = node->GetLiveData();
  StoreStartTable(*this, live);
  EventAdd(0);
  return TRUE;
}
