#include "tune/tune_params.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace kwhost::tune {

namespace {

constexpr double kMaxPitchDefaultHigh = 0.5;  // radians, for MAX_PITCH_STEP at 0 (no limit)

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

bool parseNumber(const std::string& text, double* out) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (!end || *end != '\0' || !std::isfinite(v)) return false;
  *out = v;
  return true;
}

std::string joined(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

// The default range round the scene's value, before the description's limits.
void defaultRange(const DescriptionEntry& e, float given, double* lo, double* hi) {
  const double g = double(given);
  if (g > 0) {
    *lo = g / 4, *hi = g * 4;
  } else if (g < 0) {
    *lo = g * 4, *hi = g / 4;
  } else if (e.name == "MAX_PITCH_STEP") {
    *lo = 0, *hi = kMaxPitchDefaultHigh;
  } else {
    const double d = e.def ? std::fabs(*e.def) : 1.0;
    *lo = 0, *hi = 4 * (d > 0 ? d : 1.0);
  }
}

double roundTo4Digits(double x) {
  if (x == 0 || !std::isfinite(x)) return x;
  const int e = int(std::floor(std::log10(std::fabs(x)))) - 3;
  const double scale = std::pow(10.0, double(std::abs(e)));
  return e >= 0 ? std::round(x / scale) * scale : std::round(x * scale) / scale;
}

}  // namespace

const std::vector<std::string>& tunableNames() {
  static const std::vector<std::string> names = {
      "VISION_LENGTH",    "VISION_HALF_WIDTH", "AVOID_ANGLE",      "TARGET_WEIGHT", "REPULSION_WEIGHT",
      "ALIGNMENT_WEIGHT", "REPULSION_RADIUS",  "ALIGNMENT_RADIUS", "MAX_PITCH_STEP"};
  return names;
}

std::vector<std::string> defaultVary(bool hasObstacles) {
  if (hasObstacles) return {"VISION_LENGTH", "VISION_HALF_WIDTH", "AVOID_ANGLE", "REPULSION_WEIGHT", "REPULSION_RADIUS"};
  return {"TARGET_WEIGHT", "REPULSION_WEIGHT", "REPULSION_RADIUS"};
}

Result<Varied> parseVaried(const std::string& item, const DescriptionInfo& description, float given) {
  const size_t eq = item.find('=');
  const std::string name = item.substr(0, eq);
  const auto& names = tunableNames();
  if (name == "SPEED" || name == "SPEED_VARIATION")
    return fail(name + ": the agents' speeds are drawn when the start is recorded and stay as recorded, so " + name +
                " cannot be tuned (record the start again with another value instead)");
  if (std::find(names.begin(), names.end(), name) == names.end())
    return fail("unknown parameter \"" + name + "\" (the tag's parameters read at every frame: " + joined(names) + ")");
  const DescriptionEntry* e = description.find(name);
  if (!e || e->type != ParamType::Real) return fail(name + ": the tag's description has no such real parameter");

  Varied v;
  v.name = name;
  v.id = e->id;
  v.given = given;
  if (eq == std::string::npos) {
    defaultRange(*e, given, &v.lo, &v.hi);
    if (e->min) v.lo = std::max(v.lo, *e->min), v.hi = std::max(v.hi, *e->min);
    if (e->max) v.lo = std::min(v.lo, *e->max), v.hi = std::min(v.hi, *e->max);
  } else {
    const std::string range = item.substr(eq + 1);
    const size_t colon = range.find(':');
    if (colon == std::string::npos || !parseNumber(range.substr(0, colon), &v.lo) ||
        !parseNumber(range.substr(colon + 1), &v.hi))
      return fail(item + ": expected NAME=LO:HI with two numbers, as REPULSION_RADIUS=50:400");
    if (!(v.lo < v.hi)) return fail(item + ": the range's low end must be below its high end");
    if (e->min && v.lo < *e->min)
      return fail(item + ": " + number(v.lo) + " is below " + name + "'s least value, " + number(*e->min));
    if (e->max && v.hi > *e->max)
      return fail(item + ": " + number(v.hi) + " is above " + name + "'s greatest value, " + number(*e->max));
  }
  v.logScale = v.lo > 0 && v.hi > v.lo;
  return v;
}

float valueAt(const Varied& v, double u) {
  u = std::clamp(u, 0.0, 1.0);
  double x = v.logScale ? v.lo * std::exp(u * std::log(v.hi / v.lo)) : v.lo + u * (v.hi - v.lo);
  x = std::clamp(roundTo4Digits(x), v.lo, v.hi);
  return float(x);
}

double unitOf(const Varied& v, double value) {
  if (!(v.hi > v.lo)) return 0.5;
  const double u = v.logScale ? std::log(std::max(value, v.lo) / v.lo) / std::log(v.hi / v.lo)
                              : (value - v.lo) / (v.hi - v.lo);
  return std::clamp(u, 0.0, 1.0);
}

}  // namespace kwhost::tune
