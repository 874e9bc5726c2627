// Descriptions: what the attribute panel shows of a node, and the
// identifiers of its elements.
#ifndef KW_C4D_DESCRIPTION_H
#define KW_C4D_DESCRIPTION_H

#include "c4d_types.h"

struct DescLevel {
  LONG id;
  LONG dtype;
  LONG creator;
};

class DescID {
 public:
  DescID() : depth_(0), levels_() {}
  explicit DescID(LONG id) : depth_(1), levels_() { levels_[0].id = id; }
  LONG GetDepth() const { return depth_; }
  // Level i of the identifier; level 0 is the element itself.
  const DescLevel& operator[](LONG i) const { return levels_[i]; }

 private:
  LONG depth_;
  DescLevel levels_[KW_DESCID_MAX_DEPTH];
};

// Data of node message 18: the element whose command was given.
struct DescriptionCommand {
  DescID id;
};

class Description {
 public:
  Bool LoadDescription(LONG id);

 private:
  Description() = default;
};

// Flag of GetDDescription: the description has been loaded.
#define DESCFLAGS_DESC_LOADED 2

static_assert(sizeof(DescLevel) == sizeof(KwDescLevel), "level layout");
static_assert(sizeof(DescID) == sizeof(KwDescID), "DescID layout");
static_assert(sizeof(DescriptionCommand) == sizeof(KwDescriptionCommand), "command layout");

#endif
