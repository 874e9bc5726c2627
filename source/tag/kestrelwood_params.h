// Identifiers of the tag's parameters in its container. Lengths are scene
// units, angles radians, speeds scene units per evaluation.
#ifndef KW_KESTRELWOOD_PARAMS_H
#define KW_KESTRELWOOD_PARAMS_H

#include "c4d_hosttable.h"

// The ones the host also reads take their numbers from the boundary header.
enum {
  AGENTS_GROUP = KW_KESTRELWOOD_AGENTS_GROUP,  // link: the agents are its direct children
  TARGET = KW_KESTRELWOOD_TARGET,              // link: what the agents steer to
  OBSTACLES_GROUP = KW_KESTRELWOOD_OBSTACLES_GROUP,  // link: its circle-spline children are obstacles
  VISION_LENGTH = 1003,      // real: reach of the vision probe
  VISION_HALF_WIDTH = 1004,  // real: half width of the vision probe
  AVOID_ANGLE = 1005,        // real: turn when an obstacle is seen
  SPEED = 1006,              // real: mean agent speed
  TARGET_WEIGHT = 1007,      // real
  REPULSION_WEIGHT = 1008,   // real
  ALIGNMENT_WEIGHT = 1009,   // real
  RECORD_START = KW_KESTRELWOOD_RECORD_START,          // button: record the start state
  REPULSION_RADIUS = KW_KESTRELWOOD_REPULSION_RADIUS,  // real
  ALIGNMENT_RADIUS = 1012,   // real
  SHOW_VISION = 1016,        // bool
  SHOW_REPULSION = 1017,     // bool
  SHOW_ALIGNMENT = 1018,     // bool
  START_RECORDED = KW_KESTRELWOOD_START_RECORDED,  // bool: a start state is stored
  START_COUNT_ID = KW_KESTRELWOOD_START_COUNT_ID,  // long: id of the entry holding the slot count
  TERRAIN = KW_KESTRELWOOD_TERRAIN,                // link: polygon object to walk on
  SPEED_VARIATION = 1022,    // real: relative spread of the speeds
  MAX_PITCH_STEP = 1023,     // real: largest pitch change per step on terrain
  START_COUNT = 1024,        // long: number of stored start slots
  START_MATRIX = 1025,       // matrix of slot k at 1025 + 2k
  START_SPEED = 1026         // real speed of slot k at 1026 + 2k
};

// Host identifiers the tag relies on.
enum {
  ID_KESTRELWOOD = KW_KESTRELWOOD_ID,                    // the tag type
  IDS_KESTRELWOOD = KW_KESTRELWOOD_NAME_STRING,          // its display name in the string table
  Ospline_circle = KW_OBJECT_CIRCLE,                     // the host's circle spline object
  PRIM_CIRCLE_RADIUS = KW_PRIM_CIRCLE_RADIUS,            // its radius parameter
  MSG_DESCRIPTION_COMMAND = KW_MSG_DESCRIPTION_COMMAND,  // a command button was pressed
  MAX_AGENTS = 100                                       // entries of every per-agent table
};

#endif
