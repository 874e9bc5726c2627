// Viewport overlays: each agent's vision probe and its repulsion and
// alignment circles.
#include "Kestrelwood.h"

namespace {

const Vector kRed(255.0f, 0.0f, 0.0f);
const Vector kWhite(255.0f, 255.0f, 255.0f);
const Vector kGreen(0.0f, 255.0f, 0.0f);
const Vector kBlue(0.0f, 0.0f, 255.0f);

struct DrawParams {
  Bool vision, repulsion, alignment;
  Real visionLength, visionHalfWidth, repulsionRadius, alignmentRadius;
};

void DrawProbe(BaseDraw* bd, BaseObject* agent, LONG i, const DrawParams& p) {
  TVistaHelper& rec = VistaHelper[i];
  bd->SetDrawColor(rec.obstacleSeen ? kRed : kWhite);
  Matrix mg = agent->GetGlobalMatrix();
  rec = Kestrelwood::CreaVistaHelper(mg, rec, p.visionLength, p.visionHalfWidth);
  bd->DrawLine3D(rec.cornerRearLeft, rec.cornerFrontLeft);
  bd->DrawLine3D(rec.cornerFrontLeft, rec.cornerFrontRight);
  bd->DrawLine3D(rec.cornerFrontRight, rec.cornerRearRight);
  bd->DrawLine3D(rec.cornerRearRight, rec.cornerRearLeft);
}

// In the agent's own X-Z plane: tilts with it and grows with its scale.
void DrawRepulsion(BaseDraw* bd, BaseObject* agent, const DrawParams& p) {
  bd->SetDrawColor(kGreen);
  Matrix mg = agent->GetGlobalMatrix();
  Matrix c(mg.off, p.repulsionRadius * mg.v1, p.repulsionRadius * mg.v3, Vector(0.0f, 0.0f, 1.0f));
  bd->DrawCircle3D(c);
}

// In the world's horizontal plane, whatever the agent's orientation.
void DrawAlignment(BaseDraw* bd, BaseObject* agent, const DrawParams& p) {
  bd->SetDrawColor(kBlue);
  Matrix mg = agent->GetGlobalMatrix();
  Matrix c(mg.off, Vector(p.alignmentRadius, 0.0f, 0.0f), Vector(0.0f, 0.0f, p.alignmentRadius),
           Vector(0.0f, 0.0f, 1.0f));
  bd->DrawCircle3D(c);
}

}  // namespace

Bool Kestrelwood::Draw(PluginTag* tag, BaseObject*, BaseDraw* bd, BaseDrawHelp* bh) {
  DrawParams p;
  p.vision = tag->GetData().GetBool(SHOW_VISION, FALSE);
  p.repulsion = tag->GetData().GetBool(SHOW_REPULSION, FALSE);
  p.alignment = tag->GetData().GetBool(SHOW_ALIGNMENT, FALSE);
  if (!p.vision && !p.repulsion && !p.alignment) return TRUE;

  BaseDocument* doc = bh->GetDocument();
  BaseObject* group = tag->GetData().GetObjectLink(AGENTS_GROUP, doc);
  if (!group) return TRUE;
  BaseObject* first = group->GetDown();
  if (!first) return TRUE;

  p.visionLength = tag->GetData().GetReal(VISION_LENGTH, 0.0f);
  p.visionHalfWidth = tag->GetData().GetReal(VISION_HALF_WIDTH, 0.0f);
  p.repulsionRadius = tag->GetData().GetReal(REPULSION_RADIUS, 0.0f);
  p.alignmentRadius = tag->GetData().GetReal(ALIGNMENT_RADIUS, 0.0f);

  // Agents past the last record slot have no probe record and are not drawn.
  LONG i = 0;
  for (BaseObject* agent = first; agent && i < MAX_AGENTS; agent = agent->GetNext(), ++i) {
    if (p.vision) DrawProbe(bd, agent, i, p);
    if (p.repulsion) DrawRepulsion(bd, agent, p);
    if (p.alignment) DrawAlignment(bd, agent, p);
  }
  return TRUE;
}
