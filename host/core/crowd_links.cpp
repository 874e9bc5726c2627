#include "core/crowd_links.h"

#include "core/registry.h"
#include "core/tag.h"

namespace kwhost {

namespace {

Object* linkedObject(const Tag& t, int32_t id) {
  KwNode* n = t.data().getLink(id, t.document());
  return n && n->kind() == KwNode::Kind::Object ? static_cast<Object*>(n) : nullptr;
}

}  // namespace

std::string tagLabel(int tagIndex, const std::string& objectName) {
  return "tag " + std::to_string(tagIndex) + " on \"" + objectName + "\"";
}

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
    c.agentsGroup = linkedObject(*t, paramId(d, "AGENTS_GROUP", KW_KESTRELWOOD_AGENTS_GROUP));
    c.target = linkedObject(*t, paramId(d, "TARGET", KW_KESTRELWOOD_TARGET));
    c.obstaclesGroup = linkedObject(*t, paramId(d, "OBSTACLES_GROUP", KW_KESTRELWOOD_OBSTACLES_GROUP));
    c.terrain = linkedObject(*t, paramId(d, "TERRAIN", KW_KESTRELWOOD_TERRAIN));
    c.startRecorded = t->data().getBool(paramId(d, "START_RECORDED", KW_KESTRELWOOD_START_RECORDED));
    out.push_back(c);
  }
  return out;
}

}  // namespace kwhost
