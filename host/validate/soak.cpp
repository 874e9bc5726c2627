#include "validate/soak.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "core/evaluate.h"
#include "validate/tag_contract.h"

namespace kwhost::validate {

SoakReport runSoak(Module& module, const SoakOptions& o, std::ostream* progress) {
  Document doc;
  auto built = buildCrowd(doc, o.layout);
  if (!built) {
    SoakReport r;
    r.failure = "cannot build the crowd: " + built.error();
    return r;
  }
  return runSoakOn(module, doc, built.value(), o, progress);
}

SoakReport runSoakOn(Module& module, Document& doc, const Crowd& crowd, const SoakOptions& o, std::ostream* progress) {
  SoakReport r;
  const auto t0 = std::chrono::steady_clock::now();
  const Account& account = module.account();
  {
    const int32_t first = doc.minFrame();
    evaluateFrame(doc, first);
    r.liveBlocksStart = r.liveBlocksMin = r.liveBlocksMax = account.snapshot().liveBlocks;
    r.liveHandlesStart = r.liveHandlesMin = r.liveHandlesMax = account.snapshot().liveHandles;
    std::vector<float> micros;
    micros.reserve(size_t(o.frames));
    int32_t frame = first;
    for (int64_t n = 1; n <= o.frames; ++n) {
      bool restore = o.restoreEvery > 0 && n % o.restoreEvery == 0;
      if (o.pressEvery > 0 && n % o.pressEvery == 0) {
        for (Tag* t : doc.tagsInOrder()) pressButton(*t, kRecordStart);
        ++r.presses;
      }
      // The frame counter stays far from overflow: restores rewind it.
      if (frame >= first + 1000000) restore = true;
      frame = restore ? first : frame + 1;
      if (restore) ++r.restores;
      const auto s = std::chrono::steady_clock::now();
      evaluateFrame(doc, frame);
      micros.push_back(std::chrono::duration<float, std::micro>(std::chrono::steady_clock::now() - s).count());
      r.frames = n;
      if (r.firstNonFinite < 0 && !agentsFinite(crowd, &r.nonFinite)) r.firstNonFinite = n;
      const AccountSnapshot a = account.snapshot();
      r.liveBlocksMin = std::min(r.liveBlocksMin, a.liveBlocks);
      r.liveBlocksMax = std::max(r.liveBlocksMax, a.liveBlocks);
      r.liveHandlesMin = std::min(r.liveHandlesMin, a.liveHandles);
      r.liveHandlesMax = std::max(r.liveHandlesMax, a.liveHandles);
      if (progress && o.progressEvery > 0 && n % o.progressEvery == 0) {
        char line[160];
        std::snprintf(line, sizeof line, "soak: frame %lld, %.1f us/frame, %lld live blocks\n", (long long)n,
                      double(micros.back()), (long long)a.liveBlocks);
        *progress << line << std::flush;
      }
      if (r.firstNonFinite >= 0) break;
    }
    const size_t tenth = std::max<size_t>(1, micros.size() / 10);
    if (micros.size() >= 2) {
      double a = 0, b = 0;
      for (size_t i = 0; i < tenth; ++i) a += micros[i], b += micros[micros.size() - 1 - i];
      r.firstTenthMicros = a / double(tenth);
      r.lastTenthMicros = b / double(tenth);
    }
    r.peakBytes = account.snapshot().peakBytes;
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (r.firstNonFinite >= 0) {
    r.failure = "frame " + std::to_string(r.firstNonFinite) + ": " + r.nonFinite;
  } else if (r.liveBlocksMax != r.liveBlocksStart || r.liveBlocksMin != r.liveBlocksStart) {
    r.failure = "the module's live blocks did not stay flat: " + std::to_string(r.liveBlocksStart) + " at the start, " +
                std::to_string(r.liveBlocksMin) + " to " + std::to_string(r.liveBlocksMax) + " between frames";
  } else if (r.liveHandlesMax != r.liveHandlesStart || r.liveHandlesMin != r.liveHandlesStart) {
    r.failure = "the host handles held by the module did not stay flat: " + std::to_string(r.liveHandlesStart) +
                " at the start, " + std::to_string(r.liveHandlesMin) + " to " + std::to_string(r.liveHandlesMax);
  } else if (r.firstTenthMicros > 0 && r.lastTenthMicros > o.driftLimit * r.firstTenthMicros) {
    r.failure = "the time per frame drifted from " + std::to_string(r.firstTenthMicros) + " us to " +
                std::to_string(r.lastTenthMicros) + " us";
  }
  r.ok = r.failure.empty();
  return r;
}

void printSoakReport(const SoakReport& r, std::ostream& out) {
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "soak: %lld frames (%lld restores, %lld presses) in %.1f s\n"
                "soak: time per frame: first tenth %.1f us, last tenth %.1f us (ratio %.2f)\n"
                "soak: module live blocks between frames: %lld at the start, %lld..%lld; peak %lld bytes\n",
                (long long)r.frames, (long long)r.restores, (long long)r.presses, r.seconds, r.firstTenthMicros,
                r.lastTenthMicros, r.firstTenthMicros > 0 ? r.lastTenthMicros / r.firstTenthMicros : 0.0,
                (long long)r.liveBlocksStart, (long long)r.liveBlocksMin, (long long)r.liveBlocksMax,
                (long long)r.peakBytes);
  out << buf << (r.ok ? "soak: OK\n" : "soak: FAILED: " + r.failure + "\n");
}

}  // namespace kwhost::validate
