// The parameters a tune may vary and the ranges it searches. Only the reals
// the tag reads at every frame can change a run; the speeds are drawn into
// the recorded start, so changing SPEED or SPEED_VARIATION afterwards
// changes nothing and they are refused with that reason.
//
// `--vary NAME[=LO:HI],...`: a name without a range searches a quarter to
// four times the scene's value (four times to a quarter for a negative
// value); a value of 0 searches 0 to four times the tag's default, and
// MAX_PITCH_STEP at 0 (no limit) 0 to 0.5 radians. Either way the range is
// kept within the description's MIN and MAX. A range given outside them is
// refused.
#ifndef KWHOST_TUNE_TUNE_PARAMS_H
#define KWHOST_TUNE_TUNE_PARAMS_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/description.h"
#include "core/result.h"

namespace kwhost::tune {

// The tunable names, in the order the table's columns list them.
const std::vector<std::string>& tunableNames();
// The names searched when --vary is not given (the obstacle ones only for
// a tag that has obstacles).
std::vector<std::string> defaultVary(bool hasObstacles);

struct Varied {
  std::string name;
  int32_t id = 0;
  float given = 0;   // the scene's value
  double lo = 0, hi = 0;
  bool logScale = false;  // searched by ratio (both ends above 0)
};

// Parses one item of --vary against the tag's description; given is the
// scene's value of that parameter.
Result<Varied> parseVaried(const std::string& item, const DescriptionInfo& description, float given);

// A point of the unit cube [0,1] to the value it stands for: spread over
// the range (by ratio on a log scale), rounded to 4 significant digits and
// stored as the tag stores it, a 32-bit float.
float valueAt(const Varied& v, double u);
// The unit coordinate of a value (clamped to [0,1]).
double unitOf(const Varied& v, double value);

}  // namespace kwhost::tune

#endif
