// The checks every writer makes before it trusts a RunRecord: the shapes
// must agree (one state per agent per frame, one matrix per track per
// frame), frames must increase, and agent matrices must be finite numbers,
// so that a faulty run is reported instead of written as a broken file.
#ifndef KWHOST_EXPORT_RUN_RECORD_CHECK_H
#define KWHOST_EXPORT_RUN_RECORD_CHECK_H

#include <string>

#include "core/result.h"
#include "export/run_record.h"

namespace kwhost {

// Nothing when the record is consistent; otherwise an error naming the first
// fault (frame, agent or track, what).
Result<void> checkRunRecord(const RunRecord& run);

}  // namespace kwhost

#endif
