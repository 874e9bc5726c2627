// The tune's ranges and search without the program: the documented default
// ranges, values rounded as the table shows them, and a search that finds
// the bottom of a stepped bowl far better than its own first sample does.
#include <gtest/gtest.h>

#include <cmath>

#include "tune/search.h"
#include "tune/tune_params.h"

namespace {

using namespace kwhost;
using namespace kwhost::tune;

DescriptionInfo description() {
  DescriptionInfo d;
  auto real = [&](const char* name, int32_t id, std::optional<double> def, std::optional<double> min) {
    DescriptionEntry e;
    e.id = id, e.name = name, e.type = ParamType::Real, e.def = def, e.min = min;
    d.entries.push_back(e);
  };
  real("VISION_LENGTH", 1003, 1000.0, 0.0);
  real("ALIGNMENT_WEIGHT", 1009, 1.0, std::nullopt);
  real("AVOID_ANGLE", 1005, 0.7854, std::nullopt);
  real("MAX_PITCH_STEP", 1023, std::nullopt, std::nullopt);
  real("SPEED", 1006, 20.0, std::nullopt);
  return d;
}

TEST(TuneRanges, DefaultsRoundTheScenesValue) {
  const DescriptionInfo d = description();
  auto v = parseVaried("VISION_LENGTH", d, 600.0f);
  ASSERT_TRUE(v) << v.error();
  EXPECT_EQ(v->id, 1003);
  EXPECT_DOUBLE_EQ(v->lo, 150.0);
  EXPECT_DOUBLE_EQ(v->hi, 2400.0);
  EXPECT_TRUE(v->logScale);
  // A value of 0: 0 to four times the default; no limit in pitch: 0 to 0.5.
  v = parseVaried("ALIGNMENT_WEIGHT", d, 0.0f);
  ASSERT_TRUE(v);
  EXPECT_DOUBLE_EQ(v->lo, 0.0);
  EXPECT_DOUBLE_EQ(v->hi, 4.0);
  EXPECT_FALSE(v->logScale);
  v = parseVaried("MAX_PITCH_STEP", d, 0.0f);
  ASSERT_TRUE(v);
  EXPECT_DOUBLE_EQ(v->hi, 0.5);
  // A negative value: four times to a quarter; a given range as given.
  v = parseVaried("AVOID_ANGLE", d, -0.5f);
  ASSERT_TRUE(v);
  EXPECT_DOUBLE_EQ(v->lo, -2.0);
  EXPECT_DOUBLE_EQ(v->hi, -0.125);
  v = parseVaried("VISION_LENGTH=0:2000", d, 600.0f);
  ASSERT_TRUE(v);
  EXPECT_DOUBLE_EQ(v->lo, 0.0);
  EXPECT_FALSE(v->logScale);
  EXPECT_FALSE(parseVaried("VISION_LENGTH=-1:2000", d, 600.0f));
  EXPECT_FALSE(parseVaried("SPEED", d, 20.0f));
}

TEST(TuneRanges, ValuesAreRoundedToFourDigitsWithinTheRange) {
  Varied v;
  v.lo = 150, v.hi = 2400, v.logScale = true;
  EXPECT_EQ(valueAt(v, 0.0), 150.0f);
  EXPECT_EQ(valueAt(v, 1.0), 2400.0f);
  EXPECT_EQ(valueAt(v, 0.5), 600.0f);
  const float x = valueAt(v, 0.123);
  EXPECT_EQ(x, float(std::round(double(x))));  // four digits of a number above 1000 or 100: whole
  Varied a;
  a.lo = 0.19635, a.hi = 3.1416;
  EXPECT_EQ(valueAt(a, 1.0), float(3.1416));  // rounding up past the end comes back to it
  EXPECT_NEAR(unitOf(v, 600.0), 0.5, 1e-12);
}

// A bowl of steps: the cost is a whole number, as a tune's is.
Score bowl(const Point& u) {
  double d = 0;
  for (size_t i = 0; i < u.size(); ++i) d += (u[i] - 0.3 - 0.1 * double(i)) * (u[i] - 0.3 - 0.1 * double(i));
  Score s;
  s.ran = true, s.accepted = true;
  s.cost = int64_t(std::floor(d * 1000));
  s.endDistance = d;
  return s;
}

TEST(TuneSearch, FindsTheBottomOfASteppedBowlAndRepeatsItself) {
  auto search = [](uint64_t seed, int64_t* sampled, int64_t* best) {
    Search s(Point{0.9, 0.9, 0.9, 0.9}, 200, seed);
    std::vector<Point> all;
    *best = *sampled = INT64_MAX;
    for (auto batch = s.nextBatch(); !batch.empty(); batch = s.nextBatch()) {
      std::vector<Score> scores;
      for (const Point& p : batch) {
        all.push_back(p);
        scores.push_back(bowl(p));
        *best = std::min(*best, scores.back().cost);
        if (all.size() <= 60) *sampled = *best;
      }
      s.tell(scores);
    }
    EXPECT_EQ(all.size(), 200u);
    return all;
  };
  int64_t sampled = 0, best = 0, again = 0, unused = 0;
  const auto first = search(3, &sampled, &best);
  EXPECT_LE(best, 1);                 // at the bottom, to the step
  EXPECT_LT(best * 20, sampled + 1);  // far below the first sample's best
  EXPECT_EQ(search(3, &unused, &again), first);
  EXPECT_NE(search(4, &unused, &again), first);
}

}  // namespace
