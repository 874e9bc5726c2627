#include "core/warning.h"

namespace kwhost {

namespace {

constexpr WarningKeyInfo kKeys[] = {
    {WarningKey::NoStart, "no-start", "a crowd tag without a recorded start"},
    {WarningKey::NoTarget, "no-target", "a crowd tag without a target"},
    {WarningKey::NoAgents, "no-agents", "a crowd tag without an agent group, or with an empty one"},
    {WarningKey::TooManyAgents, "too-many-agents", "a group of more than 100 agents"},
    {WarningKey::SharedRecords, "shared-records", "two tags whose flocks share the module's per-agent records"},
    {WarningKey::SkippedObstacle, "skipped-obstacle", "a child of the obstacles group that is no circle"},
    {WarningKey::SkippedObjData, "skipped-obj-data", "what the OBJ reader passed over in a polygon object's file"},
    {WarningKey::NoViewerTemplate, "no-viewer-template", "--out without the viewer page's template"},
};

// One row per key, in the enumeration's order, so that a key's row is found
// by its value.
constexpr bool inOrder() {
  for (size_t i = 0; i < std::size(kKeys); ++i)
    if (static_cast<size_t>(kKeys[i].key) != i) return false;
  return true;
}
static_assert(inOrder(), "kKeys lists the keys in the order of WarningKey");

}  // namespace

std::span<const WarningKeyInfo> warningKeys() { return kKeys; }

const char* warningKeyName(WarningKey key) {
  const size_t i = static_cast<size_t>(key);
  return i < std::size(kKeys) ? kKeys[i].name : "unlisted";
}

std::string keyedText(const Warning& w) { return std::string("[") + warningKeyName(w.key) + "] " + w.text; }

}  // namespace kwhost
