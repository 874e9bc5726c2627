// What a run of a scene leaves for the user to look at: the static scene
// (terrains, obstacles), the agents, and per evaluated frame every agent's
// matrix and rotation, the other objects' matrices and what the tags drew.
// The scene runner fills it; the CSV, glTF, SVG and viewer writers read it.
#ifndef KWHOST_EXPORT_RUN_RECORD_H
#define KWHOST_EXPORT_RUN_RECORD_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kwhost {

// off, v1, v2, v3 as 12 floats (x, y, z each), the module's Matrix layout.
using Mat12 = std::array<float, 12>;
using Vec3 = std::array<float, 3>;
using Rgb = std::array<uint8_t, 3>;

struct RecordedMesh {
  std::string name;
  Mat12 global{};              // the object's global matrix
  std::vector<Vec3> points;    // local coordinates
  std::vector<uint32_t> tris;  // 3 indices per triangle
};

struct RecordedCircle {
  std::string name;
  Mat12 global{};
  float radius = 0.0f;
};

struct RecordedAgent {
  std::string name;
  int tag = 0;         // 0-based position of its tag in evaluation order
  int index = 0;       // 0-based position among the group's children
  float speed = 0.0f;  // cruising speed from the tag's stored start table (0 when none)
};

// Any other object whose matrix is worth replaying (targets, moving groups).
struct RecordedTrack {
  std::string name;
  std::vector<Mat12> global;  // one per frame
};

struct AgentState {
  Mat12 global{};
  Vec3 hpb{};  // GetRotation: heading, pitch, bank
};

struct DrawnLine {
  Vec3 a{}, b{};
  Rgb color{};
  int tag = 0;  // the tag that drew it, as RecordedAgent::tag
};

struct DrawnCircle {
  Mat12 m{};  // centre m.off, radius vectors v1 and v2
  Rgb color{};
  int tag = 0;
};

struct FrameRecord {
  int frame = 0;
  std::vector<AgentState> agents;  // in the order of RunRecord::agents
  std::vector<DrawnLine> lines;    // everything Draw produced for this frame
  std::vector<DrawnCircle> circles;
};

// What the crowd report needs to know of each crowd tag, besides the frames.
struct RecordedCrowd {
  int tag = 0;                    // as RecordedAgent::tag
  std::string object;             // the object the tag is on
  float repulsionRadius = 0.0f;   // REPULSION_RADIUS, scene units
  std::vector<int> agents;        // indices into RunRecord::agents, in child order
  std::vector<int> obstacles;     // indices into RunRecord::obstacles, in child order
  int targetTrack = -1;           // index into RunRecord::tracks, or -1
  int targetAgent = -1;           // index into RunRecord::agents when the target is an agent, or -1
};

struct RunRecord {
  std::string sceneName;
  int fps = 30;
  std::vector<RecordedMesh> terrains;
  std::vector<RecordedCircle> obstacles;
  std::vector<RecordedAgent> agents;
  std::vector<RecordedTrack> tracks;
  std::vector<RecordedCrowd> crowds;  // one per crowd tag, in evaluation order
  std::vector<FrameRecord> frames;  // empty when the run kept no frames
  int64_t evaluatedFrames = 0;      // frames the run evaluated, kept or not
  // The tags' parameters for a legend: (tag, name, value as text).
  struct Param {
    int tag = 0;
    std::string name;
    std::string value;
  };
  std::vector<Param> params;
};

}  // namespace kwhost

#endif
