// Reading JSON values with a path for every complaint: the scene reader
// stops at the first fault and reports where it is (a JSON path such as
// objects[2].children[0].radius) and what is wrong with it.
//
// Scenes may nest thousands of levels deep, so nothing here recurses and no
// path is spelt out before a fault needs it: a path is a chain of steps,
// extended in constant time at any depth and turned into text only once.
#ifndef KWHOST_SCENE_JSON_FAULT_H
#define KWHOST_SCENE_JSON_FAULT_H

#include <array>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kwhost::scene {

using Json = nlohmann::ordered_json;

// The deepest nesting of objects and arrays a scene file may have. Every
// level costs a few hundred bytes while reading, running and saving; this
// keeps a hostile file (a long run of '[') from taking the machine's memory,
// while a chain of nearly 100,000 nested objects (two levels each) still reads.
inline constexpr size_t kMaxNesting = 200000;

// One step of a path: a member key or an array index. A key is viewed, not
// copied: it must live as long as the path (a literal or a key of the JSON
// being read).
struct PathStep {
  std::string_view key;
  size_t index = 0;
  bool isIndex = false;
};

// A step kept for as long as the paths that continue from it.
struct PathNode {
  const PathNode* up = nullptr;
  PathStep step;
};

// Where a value lies: a kept node (or the top level) and a few steps of its
// own, held by value so that a Where can be passed on and extended freely.
class Where {
 public:
  static constexpr size_t kOwnSteps = 8;

  Where() = default;  // the top level: member "fps" of it is "fps"
  explicit Where(const PathNode* node) : node_(node) {}
  Where member(std::string_view key) const;
  Where element(size_t index) const;
  // objects[2].children[0].radius; keys longer than 64 bytes are shortened.
  std::string str() const;

 private:
  friend class PathArena;
  const PathNode* node_ = nullptr;
  std::array<PathStep, kOwnSteps> steps_{};
  size_t count_ = 0;
};

// Keeps path nodes at fixed addresses for the life of a reader or writer.
class PathArena {
 public:
  const PathNode* keep(const Where& where);

 private:
  std::deque<PathNode> nodes_;
};

// A fault in the input. Thrown inside the reader only, never out of it.
struct Fault {
  std::string where;
  std::string what;
};

[[noreturn]] void fault(const Where& where, std::string what);
// WHERE given as text: "top level", "line L, column C", "file".
[[noreturn]] void fault(std::string where, std::string what);

// Text from the file quoted for a message: "text", or its first 60 bytes and
// "..." when it is longer than 64 bytes (a name of a megabyte stays one line).
std::string inQuotes(std::string_view text);

// "a string", "the number 1.5", "an array", ... for "expected X, got Y".
std::string describe(const Json& j);

// Rejects every key of obj that is not listed (a typo must not pass silently).
void onlyKeys(const Json& obj, const Where& where, std::initializer_list<std::string_view> allowed);

const Json& requireObject(const Json& j, const Where& where);
const Json& requireArray(const Json& j, const Where& where);
const std::string& requireString(const Json& j, const Where& where);
bool requireBool(const Json& j, const Where& where);
// A JSON integer that fits 32 bits; 30.0 or 1e2 are not integers.
int32_t requireInt(const Json& j, const Where& where);
// A number that is finite as a 32-bit float.
float requireFloat(const Json& j, const Where& where);
// [x, y, z] of such numbers.
void requireVector(const Json& j, const Where& where, float out[3]);

// Parses text; syntax errors, numbers too large for a double, duplicate keys
// in one object and nesting deeper than kMaxNesting are faults (where:
// "line L, column C" or the key's path). Objects of any width read in time
// proportional to their size.
Json parseStrict(std::string_view text);

// Levenshtein distance, to suggest the name a typo most likely meant.
size_t editDistance(std::string_view a, std::string_view b);
// The candidate within two edits of key that is closest to it (the first of
// equals), or "" when none is. Far longer or shorter candidates cost nothing.
class NearestName {
 public:
  explicit NearestName(std::string_view key) : key_(key) {}
  void consider(std::string_view candidate);
  const std::string& best() const { return best_; }

 private:
  std::string_view key_;
  std::string best_;
  size_t bestDistance_ = 3;  // more than two edits away is no typo
};

}  // namespace kwhost::scene

#endif
