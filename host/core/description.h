// A tag type's description as the host reads it from the module's res/
// folder: the parameters the attribute panel shows, with their ids, types,
// defaults and limits. The scene reader maps parameter names to ids and
// types through it.
//
// Files, for a description NAME in FOLDER/res:
//   description/NAME.res   CONTAINER NAME { NAME NAME; GROUP { REAL X { DEFAULT 1.0; MIN 0.0; } ... } }
//   description/NAME.h     enum { X = 1003, ... };   (the ids of the symbols)
//   strings_us/description/NAME.str   STRINGTABLE NAME { X "Label"; ... }
#ifndef KWHOST_DESCRIPTION_H
#define KWHOST_DESCRIPTION_H

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace kwhost {

enum class ParamType { Bool, Long, Real, Link, Button, String, Matrix };
const char* paramTypeName(ParamType t);

struct DescriptionEntry {
  int32_t id = 0;
  std::string name;   // symbol, e.g. "VISION_LENGTH"
  std::string label;  // text for the user
  ParamType type = ParamType::Real;
  std::optional<double> def, min, max;
  bool hidden = false;  // written by the tag itself, not shown
};

struct DescriptionInfo {
  std::string resource;  // e.g. "Tkestrelwoodexp"
  std::string label;
  std::vector<DescriptionEntry> entries;

  const DescriptionEntry* find(std::string_view name) const;
  const DescriptionEntry* find(int32_t id) const;
};

// Reads and parses the three files; an error names the file, the line and
// what is wrong.
Result<DescriptionInfo> loadDescriptionFiles(const std::string& resFolder, const std::string& name);

}  // namespace kwhost

#endif
