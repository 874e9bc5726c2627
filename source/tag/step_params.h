// What one evaluation of the tag reads from its parameters. Each value is
// read from a fresh copy of the tag's container, as the host expects of an
// expression that may be edited between evaluations.
#ifndef KW_STEP_PARAMS_H
#define KW_STEP_PARAMS_H

#include "Kestrelwood.h"

struct StepParams {
  BaseObject* target;
  BaseObject* group;
  BaseObject* obstacles;
  BaseObject* terrain;
  Real visionLength;     // scene units
  Real visionHalfWidth;  // scene units
  Real avoidAngle;       // radians
  Real targetWeight;
  Real repulsionWeight;
  Real alignmentWeight;
  Real repulsionRadius;  // scene units
  Real alignmentRadius;  // scene units
  Real maxPitchStep;     // radians per step; 0 or less: no limit
};

// Links resolved in doc; every real with default 0.0.
StepParams ReadStepParams(PluginTag* tag, BaseDocument* doc);

#endif
