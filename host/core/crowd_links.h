// The crowd tags of a document and the objects their parameters link, as
// the host reads them through the tag's published description (names such
// as AGENTS_GROUP), for the run's record, its report and the warnings about
// crowds that will do nothing. The host applies none of the tag's rules.
#ifndef KWHOST_CORE_CROWD_LINKS_H
#define KWHOST_CORE_CROWD_LINKS_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/description.h"
#include "core/document.h"

namespace kwhost {

// The objects a crowd tag links, resolved in its document (null when unset).
struct CrowdLinks {
  Tag* tag = nullptr;
  int tagIndex = 0;  // position in evaluation order
  Object* agentsGroup = nullptr;
  Object* target = nullptr;
  Object* obstaclesGroup = nullptr;
  Object* terrain = nullptr;
  bool startRecorded = false;  // START_RECORDED: a start state is stored
};

// How a crowd tag is named to the user: tag N on "OBJECT", N its position
// in evaluation order (the CSV's tag column).
std::string tagLabel(int tagIndex, const std::string& objectName);

// Every tag of the document that has an AGENTS_GROUP parameter, in evaluation order.
std::vector<CrowdLinks> crowdTags(const Document& doc);

// The description a tag's type published (the one its module loaded, else
// the one parsed at registration).
const DescriptionInfo* descriptionOf(const Tag& tag);
// The id of the parameter named name in d, or fallback when d does not name it.
int32_t paramId(const DescriptionInfo* d, const char* name, int32_t fallback);

}  // namespace kwhost

#endif
