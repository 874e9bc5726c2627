// Fills a RunRecord while a document runs: once at the start what stays
// fixed (the agents of every tag, in evaluation order and child order, the
// terrains, obstacles and targets, the parameters for a legend), then after
// every evaluated and drawn frame the agents' states, the targets' matrices
// and what the tags drew.
#ifndef KWHOST_EXPORT_RUN_RECORDER_H
#define KWHOST_EXPORT_RUN_RECORDER_H

#include <string>
#include <vector>

#include "core/document.h"
#include "export/run_record.h"
#include "core/viewport.h"

namespace kwhost {

Mat12 toMat12(const KwMatrix& m);

class RunRecorder {
 public:
  void begin(const Document& doc, std::string sceneName);
  // After the document has been evaluated at frame and drawn into pass (may be null).
  void addFrame(int frame, const DrawPass* pass);
  const RunRecord& record() const { return rec_; }
  RunRecord& record() { return rec_; }

 private:
  RunRecord rec_;
  std::vector<const Object*> agents_;
  std::vector<const Object*> tracks_;
};

}  // namespace kwhost

#endif
