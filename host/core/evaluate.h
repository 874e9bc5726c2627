// Evaluating a document: the time set to a frame, then every tag's execute
// (objects in depth-first pre-order, tags in their order); drawing every
// tag into a recording viewport; messages to tags.
#ifndef KWHOST_EVALUATE_H
#define KWHOST_EVALUATE_H

#include <cstdint>
#include <vector>

#include "core/document.h"
#include "core/viewport.h"

namespace kwhost {

// Sets the time to frame and executes every tag; the number of tags executed.
int evaluateFrame(Document& doc, int32_t frame);
// One drawing pass (for the document's current frame) of every tag.
void drawFrame(Document& doc, RecordingViewport& viewport);
// The same with the document's tags in evaluation order given (doc.tagsInOrder()):
// a run takes them once, not once per frame, as long as no object or tag is
// added or deleted (the module has no table operation that would).
int evaluateFrame(Document& doc, int32_t frame, const std::vector<Tag*>& tagsInOrder);
void drawFrame(Document& doc, RecordingViewport& viewport, const std::vector<Tag*>& tagsInOrder);
// Message 18 with a description command whose first level is id (a button press).
bool pressButton(Tag& tag, int32_t id);

}  // namespace kwhost

#endif
