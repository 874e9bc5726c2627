// The module's contract as the validator checks it from outside: the tag's
// plug-in identifier, its parameter identifiers and the defaults a new tag
// must carry. This is a second copy on purpose, the one place besides the
// description header (res/description/Tkestrelwoodexp.h, where the module
// takes its ids) and the protocol header (_api/c4d_hosttable.h, the ids the
// host reads) that writes the numbers out: a validator that read the
// module's constants would agree with any mistake. A new parameter is added
// here too, as the check that the module published it.
#ifndef KWHOST_VALIDATE_TAG_CONTRACT_H
#define KWHOST_VALIDATE_TAG_CONTRACT_H

#include <cstdint>

namespace kwhost::validate {

inline constexpr int32_t kTagId = 1019785;
inline constexpr int32_t kTagInfo = 9;
inline constexpr int32_t kDisplayNameString = 10072;

enum Param : int32_t {
  kAgentsGroup = 1000,
  kTarget = 1001,
  kObstaclesGroup = 1002,
  kVisionLength = 1003,
  kVisionHalfWidth = 1004,
  kAvoidAngle = 1005,
  kSpeed = 1006,
  kTargetWeight = 1007,
  kRepulsionWeight = 1008,
  kAlignmentWeight = 1009,
  kRecordStart = 1010,
  kRepulsionRadius = 1011,
  kAlignmentRadius = 1012,
  kShowVision = 1016,
  kShowRepulsion = 1017,
  kShowAlignment = 1018,
  kStartRecorded = 1019,
  kStartCountId = 1020,
  kTerrain = 1021,
  kSpeedVariation = 1022,
  kMaxPitchStep = 1023,
  kStartCount = 1024,
  kFirstStartPair = 1025,  // matrix at 1025 + 2k, speed at 1026 + 2k
};

inline constexpr int kStartSlots = 100;

// The eleven entries a new tag's Init writes, in its order.
struct DefaultEntry {
  int32_t id;
  bool isBool;
  float value;
};
inline constexpr DefaultEntry kDefaults[] = {
    {kStartRecorded, true, 0.0f},    {kVisionLength, false, 1000.0f},   {kVisionHalfWidth, false, 200.0f},
    {kAvoidAngle, false, 0.7854f},   {kSpeed, false, 20.0f},            {kTargetWeight, false, 10.0f},
    {kRepulsionWeight, false, 20.0f}, {kAlignmentWeight, false, 1.0f},  {kRepulsionRadius, false, 200.0f},
    {kAlignmentRadius, false, 800.0f}, {kSpeedVariation, false, 0.0f},
};

// Every real parameter of the tag (the ones parameter fuzzing varies).
inline constexpr int32_t kRealParams[] = {kVisionLength,    kVisionHalfWidth, kAvoidAngle,      kSpeed,
                                          kTargetWeight,    kRepulsionWeight, kAlignmentWeight, kRepulsionRadius,
                                          kAlignmentRadius, kSpeedVariation,  kMaxPitchStep};

}  // namespace kwhost::validate

#endif
