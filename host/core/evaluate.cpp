#include "core/evaluate.h"

namespace kwhost {

int evaluateFrame(Document& doc, int32_t frame) { return evaluateFrame(doc, frame, doc.tagsInOrder()); }

int evaluateFrame(Document& doc, int32_t frame, const std::vector<Tag*>& tagsInOrder) {
  doc.setFrame(frame);
  int n = 0;
  for (Tag* t : tagsInOrder) {
    if (!t->alive()) continue;
    t->execute();
    ++n;
  }
  return n;
}

void drawFrame(Document& doc, RecordingViewport& viewport) { drawFrame(doc, viewport, doc.tagsInOrder()); }

void drawFrame(Document& doc, RecordingViewport& viewport, const std::vector<Tag*>& tagsInOrder) {
  viewport.beginPass(doc.frame());
  for (size_t i = 0; i < tagsInOrder.size(); ++i) {
    if (!tagsInOrder[i]->alive()) continue;
    viewport.setTag(int32_t(i));
    tagsInOrder[i]->draw(viewport);
  }
}

bool pressButton(Tag& tag, int32_t id) {
  KwDescriptionCommand cmd{};
  cmd.id.depth = 1;
  cmd.id.level[0].id = id;
  return tag.message(KW_MSG_DESCRIPTION_COMMAND, &cmd);
}

}  // namespace kwhost
