#include "core/crowd_links.h"

#include "core/registry.h"
#include "core/tag.h"

namespace kwhost {

namespace {

// The crowd tag's published parameter ids, used when its description does
// not name them (the start table entries are written by the tag alone).
constexpr int32_t kAgentsGroup = 1000, kTarget = 1001, kObstaclesGroup = 1002, kTerrain = 1021;
constexpr int32_t kStartRecorded = 1019;

Object* linkedObject(const Tag& t, int32_t id) {
  KwNode* n = t.data().getLink(id, t.document());
  return n && n->kind() == KwNode::Kind::Object ? static_cast<Object*>(n) : nullptr;
}

}  // namespace

const DescriptionInfo* descriptionOf(const Tag& t) {
  const DescriptionInfo* d = findDescription(t.tagType().description);
  return d ? d : &t.tagType().parsed;
}

int32_t paramId(const DescriptionInfo* d, const char* name, int32_t fallback) {
  const DescriptionEntry* e = d ? d->find(std::string_view(name)) : nullptr;
  return e ? e->id : fallback;
}

std::vector<CrowdLinks> crowdTags(const Document& doc) {
  std::vector<CrowdLinks> out;
  int index = 0;
  for (Tag* t : doc.tagsInOrder()) {
    const int ti = index++;
    const DescriptionInfo* d = descriptionOf(*t);
    if (!d->find(std::string_view("AGENTS_GROUP"))) continue;
    CrowdLinks c;
    c.tag = t;
    c.tagIndex = ti;
    c.agentsGroup = linkedObject(*t, paramId(d, "AGENTS_GROUP", kAgentsGroup));
    c.target = linkedObject(*t, paramId(d, "TARGET", kTarget));
    c.obstaclesGroup = linkedObject(*t, paramId(d, "OBSTACLES_GROUP", kObstaclesGroup));
    c.terrain = linkedObject(*t, paramId(d, "TERRAIN", kTerrain));
    c.startRecorded = t->data().getBool(paramId(d, "START_RECORDED", kStartRecorded));
    out.push_back(c);
  }
  return out;
}

}  // namespace kwhost
