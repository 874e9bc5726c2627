#include "evaluate.h"

namespace kwhost {

int evaluateFrame(Document& doc, int32_t frame) {
  doc.setFrame(frame);
  int n = 0;
  for (Tag* t : doc.tagsInOrder()) {
    if (!t->alive()) continue;
    t->execute();
    ++n;
  }
  return n;
}

void drawFrame(Document& doc, RecordingViewport& viewport) {
  viewport.beginPass(doc.frame());
  for (Tag* t : doc.tagsInOrder())
    if (t->alive()) t->draw(viewport);
}

bool pressButton(Tag& tag, int32_t id) {
  KwDescriptionCommand cmd{};
  cmd.id.depth = 1;
  cmd.id.level[0].id = id;
  return tag.message(kMsgDescriptionCommand, &cmd);
}

}  // namespace kwhost
