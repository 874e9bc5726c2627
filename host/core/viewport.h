// A viewport that records what tags draw: per drawing pass (one per frame),
// every colour set and every line and circle with the colour in force and
// the tag that drew it.
#ifndef KWHOST_VIEWPORT_H
#define KWHOST_VIEWPORT_H

#include <cstdint>
#include <vector>

#include "c4d_hosttable.h"

struct KwDraw {};
struct KwDrawHelp {
  KwDocument* document = nullptr;
};

namespace kwhost {

class Document;

struct RecordedLine {
  KwVector a, b;
  KwVector color;    // components 0..255
  int32_t tag = 0;  // the drawing tag's position in evaluation order
};

struct RecordedCircle3D {
  KwMatrix m;  // centre m.off, radius vectors v1 and v2
  KwVector color;
  int32_t tag = 0;
};

struct DrawPass {
  int32_t frame = 0;
  std::vector<KwVector> colorsSet;  // every SetDrawColor, in order
  std::vector<RecordedLine> lines;
  std::vector<RecordedCircle3D> circles;
};

class RecordingViewport : public KwDraw {
 public:
  static RecordingViewport* from(KwDraw* d) { return static_cast<RecordingViewport*>(d); }
  KwDraw* handle() { return this; }

  // Starts a pass for a frame; drawing before any pass opens one for frame 0.
  void beginPass(int32_t frame);
  const std::vector<DrawPass>& passes() const { return passes_; }
  DrawPass& current();
  void clear() { passes_.clear(); color_ = KwVector{255, 255, 255}; }

  // The tag whose drawing follows, by its position in evaluation order.
  void setTag(int32_t tag) { tag_ = tag; }
  void setColor(const KwVector& c);
  void line(const KwVector& a, const KwVector& b);
  void circle(const KwMatrix& m);

 private:
  std::vector<DrawPass> passes_;
  KwVector color_{255, 255, 255};
  int32_t tag_ = 0;
};

}  // namespace kwhost

#endif
