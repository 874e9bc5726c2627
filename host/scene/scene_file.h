// Scene files (*.kwscene.json): reading one into a document of the
// substitute host, and writing a document back.
//
// Reading checks every key and value; the first fault ends the reading with
// one error "WHERE: WHAT" (WHERE a JSON path such as
// objects[2].children[0].radius, or "line L, column C" for text that is no
// JSON). The module must have been started: tag types and parameter names
// come from its registration and its description.
//
// Writing puts every container entry of every tag in the typed form, reals
// with as few digits as give back the same 32-bit float, into a temporary
// file beside the target that is flushed to disk and then renamed over it.
#ifndef KWHOST_SCENE_SCENE_FILE_H
#define KWHOST_SCENE_SCENE_FILE_H

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/document.h"
#include "core/result.h"
#include "core/warning.h"
#include "scene/json_fault.h"

namespace kwhost::scene {

inline constexpr const char* kFormat = "kestrelwood-scene/1";
inline constexpr int32_t kRecordStartButton = KW_KESTRELWOOD_RECORD_START;

// The object types a scene file names in "type", each with its host type.
struct ObjectTypeName {
  const char* name;
  int32_t type;
};
inline constexpr ObjectTypeName kObjectTypes[] = {
    {"null", kTypeNull}, {"circle", kTypeCircle}, {"polygon", kTypePolygon}, {"cube", kTypeCube}};
// The name of a host type in a scene file, or null for a type no file names.
const char* objectTypeName(int32_t type);

// Where a polygon object's geometry came from, so that saving can refer to
// the same OBJ file again instead of inlining a large mesh.
struct ObjSource {
  std::string path;  // absolute
  uint64_t fingerprint = 0;  // of the points and triangles as loaded
};

struct LoadedScene {
  std::unique_ptr<Document> doc;
  std::vector<Tag*> recordStart;  // tags with "recordStart": true, in evaluation order
  std::map<const Object*, ObjSource> objSources;
  std::vector<Warning> warnings;  // "WHERE: WHAT"
};

// baseDir: the folder OBJ paths are relative to.
Result<LoadedScene> readSceneText(std::string_view text, const std::string& baseDir);
Result<LoadedScene> readSceneJson(const Json& root, const std::string& baseDir);
// Errors that are about the file itself (cannot be read) have WHERE "file".
Result<LoadedScene> readSceneFile(const std::string& path);

// The scene as JSON; objSources (may be null) lets unchanged OBJ geometry be
// written as a reference, relative to the folder the file is written to.
Result<Json> sceneToJson(const Document& doc, const std::map<const Object*, ObjSource>* objSources,
                         const std::string& targetDir);
// Indented JSON text; arrays of numbers stay on one line.
std::string formatJson(const Json& j);
// The scene as the text writeSceneFile writes (targetDir as for sceneToJson).
Result<std::string> sceneText(const Document& doc, const std::map<const Object*, ObjSource>* objSources,
                              const std::string& targetDir);
// Writes the scene to path (temporary file, flush to disk, rename). On any
// failure the file at path is left as it was and the error says so.
Result<void> writeSceneFile(const Document& doc, const std::string& path,
                            const std::map<const Object*, ObjSource>* objSources = nullptr);

// A fingerprint of an object's geometry.
uint64_t geometryFingerprint(const Object& obj);

}  // namespace kwhost::scene

#endif
