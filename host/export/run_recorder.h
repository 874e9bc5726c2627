// Fills a RunRecord while a document runs: once at the start what stays
// fixed (the agents of every tag, in evaluation order and child order, the
// terrains, obstacles and targets, the parameters for a legend), then after
// every evaluated and drawn frame the agents' states, the targets' matrices
// and what the tags drew.
#ifndef KWHOST_EXPORT_RUN_RECORDER_H
#define KWHOST_EXPORT_RUN_RECORDER_H

#include <string>
#include <vector>

#include "document.h"
#include "run_record.h"
#include "viewport.h"

namespace kwhost {

// The objects a crowd tag links, resolved in its document (null when unset).
struct CrowdLinks {
  Tag* tag = nullptr;
  int tagIndex = 0;  // position in evaluation order
  Object* agentsGroup = nullptr;
  Object* target = nullptr;
  Object* obstaclesGroup = nullptr;
  Object* terrain = nullptr;
  bool startRecorded = false;  // START_RECORDED: a start state is stored
};
// Every tag of the document that has an AGENTS_GROUP parameter, in evaluation order.
std::vector<CrowdLinks> crowdTags(const Document& doc);

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
