#include "c4d_basedraw.h"

#include "c4d_os.h"

void BaseDraw::SetDrawColor(const Vector& color) { C4DOS.drawing.set_color(Handle(), ToKw(&color)); }
void BaseDraw::DrawLine3D(const Vector& p1, const Vector& p2) { C4DOS.drawing.line3d(Handle(), ToKw(&p1), ToKw(&p2)); }
void BaseDraw::DrawCircle3D(const Matrix& m) { C4DOS.drawing.circle3d(Handle(), ToKw(&m)); }

BaseDocument* BaseDrawHelp::GetDocument() {
  return BaseDocument::From(C4DOS.drawing.helper_document(reinterpret_cast<KwDrawHelp*>(this)));
}
