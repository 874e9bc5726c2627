// One trial of a tune as a worker runs it: the scene put back as it was
// read (every object's position, rotation and scale as the file gave them,
// every tag with a fresh instance, as a tag read from the file has, and its
// container as read), the varied reals set in the tuned tag's container, the
// frames run and kept, and the run measured (trial_measure.h). The scene is
// read once; nothing of an earlier trial reaches the next, so a trial gives
// what `kestrelwood run` gives on the scene with those values. The terrain's
// ray-collision structure, built from geometry no trial changes, is kept.
#ifndef KWHOST_TUNE_TRIAL_RUNNER_H
#define KWHOST_TUNE_TRIAL_RUNNER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/result.h"
#include "scene/scene_file.h"
#include "tune/trial_measure.h"

namespace kwhost::tune {

// What every trial of one tune shares; a worker gets it on its command line.
struct TrialSetup {
  std::string scenePath;
  int tag = 0;                         // evaluation position of the tuned tag
  std::vector<int32_t> ids;            // the varied parameters, in the table's order
  std::optional<int64_t> frames;       // as run's --frames
  Thresholds thresholds;
};

class TrialRunner {
 public:
  // Reads the scene file once.
  static Result<TrialRunner> open(const TrialSetup& setup);
  Result<TrialMeasure> run(const std::vector<float>& values);

 private:
  struct Placed {
    Object* object;
    KwVector position, rotation, scale;
  };
  struct Held {
    Tag* tag;
    EntryMap entries;  // the container as read
  };
  TrialRunner(TrialSetup setup, scene::LoadedScene scene);
  Result<void> restore();

  TrialSetup setup_;
  scene::LoadedScene scene_;
  std::vector<Placed> placed_;
  std::vector<Held> held_;
  bool used_ = false;  // a trial has run: restore before the next
};

}  // namespace kwhost::tune

#endif
