#include "core/viewport.h"

namespace kwhost {

void RecordingViewport::beginPass(int32_t frame) {
  DrawPass p;
  p.frame = frame;
  passes_.push_back(std::move(p));
}

DrawPass& RecordingViewport::current() {
  if (passes_.empty()) beginPass(0);
  return passes_.back();
}

void RecordingViewport::setColor(const KwVector& c) {
  color_ = c;
  current().colorsSet.push_back(c);
}

void RecordingViewport::line(const KwVector& a, const KwVector& b) { current().lines.push_back({a, b, color_, tag_}); }

void RecordingViewport::circle(const KwMatrix& m) { current().circles.push_back({m, color_, tag_}); }

}  // namespace kwhost
