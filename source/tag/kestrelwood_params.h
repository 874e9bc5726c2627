// Identifiers of the tag's parameters in its container: the ones its
// description declares come from the description's header
// (res/description/Tkestrelwoodexp.h: AGENTS_GROUP, ..., START_COUNT), which
// is also what the host reads names from; lengths are scene units, angles
// radians, speeds scene units per evaluation. The ones the host reads are
// checked against the protocol header here. A new parameter: its id in the
// description header (with its .res and string entries), its default in
// Kestrelwood::Init, its use (execute.cpp: Params), and the validator's own
// copy of the contract (host/validate/tag_contract.h), kept apart on purpose.
#ifndef KW_KESTRELWOOD_PARAMS_H
#define KW_KESTRELWOOD_PARAMS_H

#include "c4d_hosttable.h"
#include "description/Tkestrelwoodexp.h"

// Two enumerations' values compared as numbers.
constexpr bool SameId(int description, int protocol) { return description == protocol; }

static_assert(SameId(AGENTS_GROUP, KW_KESTRELWOOD_AGENTS_GROUP), "AGENTS_GROUP differs from the protocol");
static_assert(SameId(TARGET, KW_KESTRELWOOD_TARGET), "TARGET differs from the protocol");
static_assert(SameId(OBSTACLES_GROUP, KW_KESTRELWOOD_OBSTACLES_GROUP), "OBSTACLES_GROUP differs from the protocol");
static_assert(SameId(RECORD_START, KW_KESTRELWOOD_RECORD_START), "RECORD_START differs from the protocol");
static_assert(SameId(REPULSION_RADIUS, KW_KESTRELWOOD_REPULSION_RADIUS), "REPULSION_RADIUS differs from the protocol");
static_assert(SameId(START_RECORDED, KW_KESTRELWOOD_START_RECORDED), "START_RECORDED differs from the protocol");
static_assert(SameId(START_COUNT_ID, KW_KESTRELWOOD_START_COUNT_ID), "START_COUNT_ID differs from the protocol");
static_assert(SameId(TERRAIN, KW_KESTRELWOOD_TERRAIN), "TERRAIN differs from the protocol");

// The stored start table past the description's entries (start_table.h):
// slot k's matrix at START_MATRIX + 2k, its real speed at START_SPEED + 2k.
enum {
  START_MATRIX = START_COUNT + 1,
  START_SPEED = START_COUNT + 2
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
