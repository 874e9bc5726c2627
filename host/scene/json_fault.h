// Reading JSON values with a path for every complaint: the scene reader
// stops at the first fault and reports where it is (a JSON path such as
// objects[2].children[0].radius) and what is wrong with it.
#ifndef KWHOST_SCENE_JSON_FAULT_H
#define KWHOST_SCENE_JSON_FAULT_H

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kwhost::scene {

using Json = nlohmann::ordered_json;

// A fault in the input. Thrown inside the reader only, never out of it.
struct Fault {
  std::string where;
  std::string what;
};

[[noreturn]] void fault(const std::string& where, std::string what);

// Paths: member("objects", "name") -> "objects.name"; member("", "fps") -> "fps".
std::string member(const std::string& path, std::string_view key);
std::string element(const std::string& path, size_t index);

// "a string", "the number 1.5", "an array", ... for "expected X, got Y".
std::string describe(const Json& j);

// Rejects every key of obj that is not listed (a typo must not pass silently).
void onlyKeys(const Json& obj, const std::string& path, std::initializer_list<std::string_view> allowed);

const Json& requireObject(const Json& j, const std::string& path);
const Json& requireArray(const Json& j, const std::string& path);
const std::string& requireString(const Json& j, const std::string& path);
bool requireBool(const Json& j, const std::string& path);
// A JSON integer that fits 32 bits; 30.0 or 1e2 are not integers.
int32_t requireInt(const Json& j, const std::string& path);
// A number that is finite as a 32-bit float.
float requireFloat(const Json& j, const std::string& path);
// [x, y, z] of such numbers.
void requireVector(const Json& j, const std::string& path, float out[3]);

// Parses text; syntax errors, numbers too large for a double and duplicate
// keys in one object are faults (where: "line L, column C" or the key's path).
Json parseStrict(std::string_view text);

// Levenshtein distance, to suggest the name a typo most likely meant.
size_t editDistance(std::string_view a, std::string_view b);

}  // namespace kwhost::scene

#endif
