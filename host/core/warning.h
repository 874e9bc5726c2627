// The warnings the program prints, each under a stable key: the line is
// "warning: [KEY] SENTENCE". Programs that read the lines (the Blender
// add-on) match the key; the sentence is for people and may change. Every
// key is named once, in the table of warning.cpp, with what it warns of
// (the --help text lists them from there); a new warning gets a new key.
#ifndef KWHOST_CORE_WARNING_H
#define KWHOST_CORE_WARNING_H

#include <span>
#include <string>

namespace kwhost {

enum class WarningKey {
  NoStart,           // a crowd tag without a recorded start
  NoTarget,          // ... without a target
  NoAgents,          // ... without an agent group, or with an empty one
  TooManyAgents,     // a group with more agents than a tag moves
  SharedRecords,     // two tags whose agents share the module's per-agent records
  SkippedObstacle,   // a child of the obstacles group the tag passes over
  SkippedObjData,    // what the OBJ reader passed over in a polygon object's file
  NoViewerTemplate,  // --out without the viewer page's template
};

struct WarningKeyInfo {
  WarningKey key;
  const char* name;     // as printed in brackets
  const char* meaning;  // for --help
};

// Every key, in the order --help lists them.
std::span<const WarningKeyInfo> warningKeys();
const char* warningKeyName(WarningKey key);

struct Warning {
  WarningKey key;
  std::string text;  // "WHERE: WHAT; what to do"
};

// "[KEY] TEXT", what follows "warning: " on the line.
std::string keyedText(const Warning& w);

}  // namespace kwhost

#endif
