// Reading a scene file into a document. Objects are created in a first pass
// (so that a link may name an object further down the file), tags and their
// parameters in a second one.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unordered_map>

#include "description.h"
#include "registry.h"
#include "scene/obj_mesh.h"
#include "scene/scene_file.h"
#include "tag.h"

namespace kwhost::scene {

namespace {

namespace fs = std::filesystem;

struct PendingTag {
  Object* obj;
  const Json* json;
  std::string path;
};

struct Reader {
  std::string baseDir;
  LoadedScene out;
  std::unordered_map<std::string, std::string> namePaths;  // name -> path of the object that took it
  std::vector<PendingTag> tags;

  void readObjects(const Json& arr, const std::string& path, Object* parent) {
    requireArray(arr, path);
    for (size_t i = 0; i < arr.size(); ++i) readObject(arr[i], element(path, i), parent);
  }

  int32_t objectType(const Json& obj, const std::string& path) {
    if (!obj.contains("type")) return kTypeNull;
    const std::string& t = requireString(obj["type"], member(path, "type"));
    if (t == "null") return kTypeNull;
    if (t == "circle") return kTypeCircle;
    if (t == "polygon") return kTypePolygon;
    if (t == "cube") return kTypeCube;
    fault(member(path, "type"), "unknown object type \"" + t + "\" (known: null, circle, polygon, cube)");
  }

  void readObject(const Json& obj, const std::string& path, Object* parent) {
    requireObject(obj, path);
    onlyKeys(obj, path, {"name", "type", "position", "rotation", "scale", "radius", "mesh", "obj", "children", "tags"});
    if (!obj.contains("name")) fault(path, "the object has no \"name\"");
    const std::string& name = requireString(obj["name"], member(path, "name"));
    if (name.empty()) fault(member(path, "name"), "an object name must not be empty");
    if (auto it = namePaths.find(name); it != namePaths.end())
      fault(member(path, "name"), "the name \"" + name + "\" is used already by " + it->second);
    const int32_t type = objectType(obj, path);

    float pos[3] = {0, 0, 0}, rot[3] = {0, 0, 0}, scale[3] = {1, 1, 1};
    if (obj.contains("position")) requireVector(obj["position"], member(path, "position"), pos);
    if (obj.contains("rotation")) requireVector(obj["rotation"], member(path, "rotation"), rot);
    if (obj.contains("scale")) requireVector(obj["scale"], member(path, "scale"), scale);

    float radius = kCircleRadiusDefault;
    if (obj.contains("radius")) {
      if (type != kTypeCircle) fault(member(path, "radius"), "\"radius\" belongs to \"circle\" objects only");
      radius = requireFloat(obj["radius"], member(path, "radius"));
      if (radius < 0) fault(member(path, "radius"), "a circle's radius must not be negative");
    }
    if ((obj.contains("mesh") || obj.contains("obj")) && type != kTypePolygon)
      fault(member(path, obj.contains("mesh") ? "mesh" : "obj"), "geometry belongs to \"polygon\" objects only");
    if (obj.contains("mesh") && obj.contains("obj"))
      fault(member(path, "obj"), "give either \"mesh\" or \"obj\", not both");
    PolygonMesh mesh;
    std::string objPath;
    if (obj.contains("mesh")) mesh = readMesh(obj["mesh"], member(path, "mesh"));
    if (obj.contains("obj")) {
      const std::string& file = requireString(obj["obj"], member(path, "obj"));
      if (file.empty()) fault(member(path, "obj"), "the OBJ file name is empty");
      fs::path p(file);
      if (p.is_relative()) p = fs::path(baseDir) / p;
      objPath = p.lexically_normal().string();
      auto loaded = readObjFile(objPath);
      if (!loaded) fault(member(path, "obj"), loaded.error());
      mesh = std::move(loaded.value());
      for (const std::string& w : mesh.warnings) out.warnings.push_back(member(path, "obj") + ": " + w);
    }

    auto created = out.doc->createObject(name, type, parent);
    if (!created) fault(member(path, "name"), created.error());
    Object* o = created.value();
    namePaths.emplace(name, path);
    o->setPSR({pos[0], pos[1], pos[2]}, {rot[0], rot[1], rot[2]}, {scale[0], scale[1], scale[2]});
    if (type == kTypeCircle) o->data().setReal(kCircleRadiusId, radius);
    if (type == kTypePolygon && (!mesh.points.empty() || !mesh.polygons.empty())) {
      auto set = o->setMesh(std::move(mesh.points), mesh.polygons);
      if (!set) fault(member(path, objPath.empty() ? "mesh" : "obj"), set.error());
      if (!objPath.empty()) {
        std::error_code ec;
        fs::path abs = fs::absolute(objPath, ec);
        out.objSources[o] = ObjSource{ec ? objPath : abs.lexically_normal().string(), geometryFingerprint(*o)};
      }
    }

    if (obj.contains("tags")) {
      const Json& tags = requireArray(obj["tags"], member(path, "tags"));
      for (size_t i = 0; i < tags.size(); ++i) {
        std::string tp = element(member(path, "tags"), i);
        requireObject(tags[i], tp);
        onlyKeys(tags[i], tp, {"type", "params", "recordStart"});
        this->tags.push_back({o, &tags[i], tp});
      }
    }
    if (obj.contains("children")) readObjects(obj["children"], member(path, "children"), o);
  }

  PolygonMesh readMesh(const Json& m, const std::string& path) {
    requireObject(m, path);
    onlyKeys(m, path, {"points", "polygons"});
    if (!m.contains("points")) fault(path, "the mesh has no \"points\"");
    if (!m.contains("polygons")) fault(path, "the mesh has no \"polygons\"");
    PolygonMesh mesh;
    const Json& pts = requireArray(m["points"], member(path, "points"));
    mesh.points.reserve(pts.size());
    for (size_t i = 0; i < pts.size(); ++i) {
      float v[3];
      requireVector(pts[i], element(member(path, "points"), i), v);
      mesh.points.push_back({v[0], v[1], v[2]});
    }
    const Json& polys = requireArray(m["polygons"], member(path, "polygons"));
    mesh.polygons.reserve(polys.size());
    for (size_t i = 0; i < polys.size(); ++i) {
      std::string pp = element(member(path, "polygons"), i);
      const Json& poly = polys[i];
      if (!poly.is_array() || poly.size() < 3)
        fault(pp, "expected a polygon [a, b, c] or [a, b, c, d], got " + (poly.is_array() ? "an array of " + std::to_string(poly.size()) + " indices" : describe(poly)));
      std::vector<uint32_t> idx;
      idx.reserve(poly.size());
      for (size_t k = 0; k < poly.size(); ++k) {
        int32_t v = requireInt(poly[k], element(pp, k));
        if (v < 0 || size_t(v) >= mesh.points.size())
          fault(element(pp, k), "point index " + std::to_string(v) + " out of range (the mesh has " +
                                    std::to_string(mesh.points.size()) + " points)");
        idx.push_back(uint32_t(v));
      }
      mesh.polygons.push_back(std::move(idx));
    }
    return mesh;
  }

  // ---- tags ----

  std::shared_ptr<TagType> tagType(const Json& tag, const std::string& path) {
    if (!tag.contains("type")) fault(path, "the tag has no \"type\"");
    const std::string& name = requireString(tag["type"], member(path, "type"));
    if (auto t = findTagType(std::string_view(name))) return t;
    std::string known;
    for (auto& t : registeredTagTypes()) known += (known.empty() ? "" : ", ") + t->name;
    fault(member(path, "type"), "unknown tag type \"" + name + "\"" +
                                    (known.empty() ? " (the module registered no tag type)" : " (known: " + known + ")"));
  }

  Object* linkTarget(const Json& v, const std::string& path) {
    if (v.is_null()) return nullptr;
    const std::string& name = requireString(v, path);
    Object* o = out.doc->find(name);
    if (!o) fault(path, "no object is named \"" + name + "\"");
    return o;
  }

  static bool decimalId(const std::string& key, int32_t* id) {
    if (key.empty() || key.size() > 10) return false;
    int64_t v = 0;
    for (char c : key) {
      if (c < '0' || c > '9') return false;
      v = v * 10 + (c - '0');
    }
    if (v > INT32_MAX) return false;
    *id = int32_t(v);
    return true;
  }

  void readParam(Container& c, const DescriptionInfo* desc, const std::string& key, const Json& v,
                 const std::string& path) {
    const DescriptionEntry* entry = desc ? desc->find(std::string_view(key)) : nullptr;
    int32_t id = 0;
    if (entry) id = entry->id;
    else if (decimalId(key, &id)) entry = desc ? desc->find(id) : nullptr;
    else {
      std::string what = "unknown parameter \"" + key + "\"";
      if (desc) {
        // Suggest a name a typo most likely meant.
        std::string best;
        size_t bestD = 3;
        for (const DescriptionEntry& e : desc->entries) {
          size_t d = editDistance(key, e.name);
          if (d < bestD) bestD = d, best = e.name;
        }
        if (!best.empty()) what += " (did you mean \"" + best + "\"?)";
      }
      fault(path, what + "; use a parameter name of the tag's description or a decimal id");
    }

    if (v.is_object()) {  // typed form
      if (v.size() != 1)
        fault(path, "a typed value holds exactly one of \"real\", \"long\", \"bool\", \"link\", \"matrix\"");
      const std::string& kind = v.begin().key();
      const Json& x = v.begin().value();
      const std::string xp = member(path, kind);
      if (kind == "real") c.setReal(id, requireFloat(x, xp));
      else if (kind == "long") c.setLong(id, requireInt(x, xp));
      else if (kind == "bool") c.setBool(id, requireBool(x, xp));
      else if (kind == "link") c.setLink(id, linkTarget(x, xp));
      else if (kind == "matrix") {
        if (!x.is_array() || x.size() != 12)
          fault(xp, "expected 12 numbers [offx, offy, offz, v1x, v1y, v1z, v2x, v2y, v2z, v3x, v3y, v3z], got " +
                        (x.is_array() ? "an array of " + std::to_string(x.size()) : describe(x)));
        float f[12];
        for (size_t i = 0; i < 12; ++i) f[i] = requireFloat(x[i], element(xp, i));
        c.setMatrix(id, KwMatrix{{f[0], f[1], f[2]}, {f[3], f[4], f[5]}, {f[6], f[7], f[8]}, {f[9], f[10], f[11]}});
      } else {
        fault(xp, "unknown value type \"" + kind + "\" (known: real, long, bool, link, matrix)");
      }
      return;
    }

    if (!entry)
      fault(path, "parameter " + std::to_string(id) +
                      " is not in the tag's description; give its type: {\"real\": ...}, {\"long\": ...}, ...");
    switch (entry->type) {
      case ParamType::Real: c.setReal(id, requireFloat(v, path)); return;
      case ParamType::Long: c.setLong(id, requireInt(v, path)); return;
      case ParamType::Bool: c.setBool(id, requireBool(v, path)); return;
      case ParamType::Link:
        if (!v.is_null() && !v.is_string()) fault(path, "expected an object name or null, got " + describe(v));
        c.setLink(id, linkTarget(v, path));
        return;
      case ParamType::Button:
        fault(path, entry->name + " is a button, not a value" +
                        std::string(id == kRecordStartButton ? "; press it with \"recordStart\": true" : ""));
      default:
        fault(path, entry->name + " is a " + paramTypeName(entry->type) + " parameter; give it in the typed form");
    }
  }

  void readTags() {
    for (const PendingTag& p : tags) {
      const Json& tag = *p.json;
      auto type = tagType(tag, p.path);
      bool press = false;
      if (tag.contains("recordStart")) press = requireBool(tag["recordStart"], member(p.path, "recordStart"));
      auto created = createTag(*p.obj, type->id);
      if (!created) fault(p.path, "the tag cannot be created: " + created.error());
      Tag* t = created.value();
      const DescriptionInfo* desc = findDescription(type->description);
      if (!desc) desc = &type->parsed;
      if (tag.contains("params")) {
        const std::string pp = member(p.path, "params");
        const Json& params = requireObject(tag["params"], pp);
        for (auto it = params.begin(); it != params.end(); ++it)
          readParam(t->data(), desc, it.key(), it.value(), member(pp, it.key()));
      }
      if (press) out.recordStart.push_back(t);
    }
    // Evaluation order for the presses.
    std::vector<Tag*> ordered;
    for (Tag* t : out.doc->tagsInOrder())
      for (Tag* r : out.recordStart)
        if (r == t) ordered.push_back(t);
    out.recordStart = std::move(ordered);
  }

  void read(const Json& root) {
    requireObject(root, "top level");
    onlyKeys(root, "", {"format", "fps", "minFrame", "maxFrame", "objects"});
    if (!root.contains("format")) fault("format", "missing; a scene file starts with \"format\": \"" + std::string(kFormat) + "\"");
    const std::string& format = requireString(root["format"], "format");
    if (format != kFormat) fault("format", "\"" + format + "\" is not a known format (expected \"" + kFormat + "\")");
    int32_t fps = root.contains("fps") ? requireInt(root["fps"], "fps") : 30;
    int32_t minFrame = root.contains("minFrame") ? requireInt(root["minFrame"], "minFrame") : 0;
    int32_t maxFrame = root.contains("maxFrame") ? requireInt(root["maxFrame"], "maxFrame") : 300;
    if (fps < 1) fault("fps", "the frame rate must be 1 or more, not " + std::to_string(fps));
    if (maxFrame < minFrame && !root.contains("maxFrame"))
      fault("maxFrame", "missing, and its default 300 lies before minFrame " + std::to_string(minFrame) +
                            "; give the last frame");
    if (maxFrame < minFrame)
      fault("maxFrame", std::to_string(maxFrame) + " lies before minFrame " + std::to_string(minFrame));
    out.doc = std::make_unique<Document>();
    auto tl = out.doc->setTimeline(fps, minFrame, maxFrame);
    if (!tl) fault("fps", tl.error());
    if (root.contains("objects")) readObjects(root["objects"], "objects", nullptr);
    readTags();
  }
};

}  // namespace

Result<LoadedScene> readSceneJson(const Json& root, const std::string& baseDir) {
  Reader r;
  r.baseDir = baseDir.empty() ? "." : baseDir;
  try {
    r.read(root);
  } catch (const Fault& f) {
    return fail(f.where + ": " + f.what);
  }
  return std::move(r.out);
}

Result<LoadedScene> readSceneText(std::string_view text, const std::string& baseDir) {
  Json root;
  try {
    root = parseStrict(text);
  } catch (const Fault& f) {
    return fail(f.where + ": " + f.what);
  }
  return readSceneJson(root, baseDir);
}

Result<LoadedScene> readSceneFile(const std::string& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return fail("file: is a folder, not a scene file");
  std::ifstream in(path, std::ios::binary);
  if (!in) return fail(std::string("file: cannot open: ") + std::strerror(errno));
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad()) return fail(std::string("file: cannot read: ") + std::strerror(errno));
  std::string dir = fs::path(path).parent_path().string();
  return readSceneText(ss.str(), dir.empty() ? "." : dir);
}

}  // namespace kwhost::scene
