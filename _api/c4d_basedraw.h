// The viewport and its drawing context.
#ifndef KW_C4D_BASEDRAW_H
#define KW_C4D_BASEDRAW_H

#include "c4d_nodes.h"

class BaseDraw {
 public:
  // Colour components 0 to 255, for the drawing that follows.
  void SetDrawColor(const Vector& color);
  // A line between two world points.
  void DrawLine3D(const Vector& p1, const Vector& p2);
  // The ellipse centred at m.off with radius vectors m.v1 and m.v2.
  void DrawCircle3D(const Matrix& m);

 private:
  BaseDraw() = default;
  KwDraw* Handle() { return reinterpret_cast<KwDraw*>(this); }
};

class BaseDrawHelp {
 public:
  BaseDocument* GetDocument();

 private:
  BaseDrawHelp() = default;
};

#endif
