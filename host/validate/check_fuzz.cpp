// Parameter fuzzing: crowds with random, extreme and non-finite parameters,
// stepped, restored and recorded again for a number of frames that grows
// with the strictness; and the final account of the module's blocks.
#include <cmath>
#include <limits>
#include <random>

#include "core/evaluate.h"
#include "validate/checks.h"
#include "validate/crowd_scene.h"
#include "validate/tag_contract.h"
#include "core/viewport.h"

namespace kwhost::validate {

namespace {

std::string str(int64_t v) { return std::to_string(v); }

// A value for a real parameter: usually a plausible one, sometimes a value
// at or beyond the edge of what a float holds.
float wildReal(std::mt19937& rng, bool sane) {
  std::uniform_real_distribution<float> plausible(-50.0f, 2500.0f);
  if (sane) return plausible(rng);
  static const float edges[] = {0.0f,
                                -0.0f,
                                -1.0f,
                                1e-30f,
                                std::numeric_limits<float>::denorm_min(),
                                std::numeric_limits<float>::max(),
                                -std::numeric_limits<float>::max(),
                                std::numeric_limits<float>::infinity(),
                                -std::numeric_limits<float>::infinity(),
                                std::numeric_limits<float>::quiet_NaN(),
                                1e30f,
                                -1e30f,
                                3.14159274f,
                                -1e6f};
  std::uniform_int_distribution<int> pick(0, int(std::size(edges)) + 3);
  const int k = pick(rng);
  return k < int(std::size(edges)) ? edges[k] : plausible(rng);
}

}  // namespace

void checkParameterFuzz(const ValidatorOptions& o, Probe& p) {
  auto m = loadModule(o, p);
  if (!m) return;
  std::mt19937 rng(o.seed);
  const int rounds = 2 * o.strictness;
  const int frames = 20 * o.strictness;
  const int64_t baseline = m->account().snapshot().liveBlocks;
  for (int round = 0; round < rounds && !p.failed(); ++round) {
    // Every other round keeps to finite, plausible values: from those no
    // agent may end up with a NaN or infinite matrix.
    const bool sane = round % 2 == 0;
    std::string what = "round ";
    what += str(round);
    what += sane ? " (plausible values)" : " (extreme values)";
    {
      Document doc;
      CrowdLayout l;
      l.prefix = std::string(1, 'R');
      l.prefix += str(round);
      l.agents = std::uniform_int_distribution<int>(0, 120)(rng);
      l.obstacles = std::uniform_int_distribution<int>(0, 4)(rng);
      l.terrain = rng() % 2 == 0;
      l.pressRecordStart = false;
      auto built = buildCrowd(doc, l);
      if (!p.require(built.ok(), what + ": " + (built.ok() ? "" : built.error()))) break;
      Crowd& c = built.value();
      Container& bc = c.tag->data();
      for (int32_t id : kRealParams) bc.setReal(id, wildReal(rng, sane));
      if (sane) {
        bc.setReal(kSpeedVariation, std::uniform_real_distribution<float>(0.0f, 2.0f)(rng));
        bc.setReal(kAvoidAngle, std::uniform_real_distribution<float>(-3.0f, 3.0f)(rng));
        bc.setReal(kMaxPitchStep, std::uniform_real_distribution<float>(-0.5f, 0.5f)(rng));
      }
      for (int32_t id : {kShowVision, kShowRepulsion, kShowAlignment}) bc.setBool(id, rng() % 2 == 0);
      pressButton(*c.tag, kRecordStart);
      RecordingViewport viewport;
      for (int f = 1; f <= frames; ++f) {
        const unsigned r = rng() % 40;
        const int frame = r == 0 ? 0 : f;  // now and then back to the first frame
        if (r == 1) pressButton(*c.tag, kRecordStart);
        if (r == 2) bc.setReal(kRealParams[rng() % std::size(kRealParams)], wildReal(rng, sane));
        evaluateFrame(doc, frame);
        if (f % 10 == 0) {
          viewport.clear();
          drawFrame(doc, viewport);
        }
        if (sane) {
          std::string where;
          if (!p.require(agentsFinite(c, &where), what + ", frame " + str(frame) + ": " + where)) break;
        }
      }
    }
    const AccountSnapshot s = m->account().snapshot();
    p.require(s.liveBlocks == baseline, what + ": " + str(s.liveBlocks - baseline) +
                                            " module block(s) outlived the document");
    p.require(s.badFrees == 0, what + ": the module freed a block the host never gave out");
  }
  unloadModule(std::move(m), p);
}

void checkNoLiveBlocks(const ValidatorOptions& o, Probe& p) {
  auto m = loadModule(o, p);
  if (!m) return;
  const Account* account = &m->account();
  const int64_t started = account->snapshot().liveBlocks;
  {
    Document doc;
    CrowdLayout l;
    l.agents = 30;
    l.obstacles = 3;
    l.terrain = true;
    auto built = buildCrowd(doc, l);
    if (p.require(built.ok(), built.ok() ? "" : built.error())) {
      RecordingViewport viewport;
      for (int f = 0; f <= 20; ++f) {
        evaluateFrame(doc, f);
        drawFrame(doc, viewport);
      }
      p.require(account->snapshot().peakBytes > 0, "the module allocated nothing through the host");
    }
  }
  const AccountSnapshot s = account->snapshot();
  p.require(s.liveBlocks == started, str(s.liveBlocks - started) + " block(s) outlived the document's tags");
  unloadModule(std::move(m), p);
  p.require(account->snapshot().liveBlocks == 0, "blocks live after the module was unloaded");
}

}  // namespace kwhost::validate
