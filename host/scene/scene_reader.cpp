// Reading a scene file into a document. Objects are created in a first pass
// (so that a link may name an object further down the file), tags and their
// parameters in a second one.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unordered_set>

#include "core/description.h"
#include "core/registry.h"
#include "scene/obj_mesh.h"
#include "scene/scene_file.h"
#include "core/tag.h"

namespace kwhost::scene {

namespace {

namespace fs = std::filesystem;

struct PendingTag {
  Object* obj;
  const Json* json;
  const PathNode* objectPath;
  size_t index;  // among the object's tags
  Where where() const { return Where(objectPath).member("tags").element(index); }
};

// An array of objects being read, and where its next element is.
struct ObjectList {
  const Json* array;
  size_t next;
  Object* parent;
  const PathNode* path;
};

// The path of an object read already, from its place in the tree: each
// object was appended to its siblings in the order of its array.
std::string pathOf(const Object& obj) {
  std::vector<size_t> indices;
  for (const Object* o = &obj; o; o = o->parent()) {
    size_t i = 0;
    for (const Object* p = o->previous(); p; p = p->previous()) ++i;
    indices.push_back(i);
  }
  std::string out = "objects";
  for (auto it = indices.rbegin(); it != indices.rend(); ++it) {
    if (it != indices.rbegin()) out += ".children";
    out += '[';
    out += std::to_string(*it);
    out += ']';
  }
  return out;
}

struct Reader {
  std::string baseDir;
  LoadedScene out;
  PathArena paths;  // one node per object list and per object, for messages
  std::vector<PendingTag> tags;

  // Objects of any depth: a list of arrays still being read instead of a
  // call per level. Objects are created in depth-first pre-order, each with
  // its tags' JSON checked before its children, as a recursive reader would.
  void readObjects(const Json& arr, const PathNode* path, Object* parent) {
    requireArray(arr, Where(path));
    std::vector<ObjectList> open{{&arr, 0, parent, path}};
    while (!open.empty()) {
      ObjectList& top = open.back();
      if (top.next == top.array->size()) {
        open.pop_back();
        continue;
      }
      const size_t i = top.next++;
      const Json& obj = (*top.array)[i];
      const PathNode* objPath = paths.keep(Where(top.path).element(i));
      Object* o = readObject(obj, objPath, top.parent);  // top may move below
      if (obj.contains("children")) {
        const PathNode* kidsPath = paths.keep(Where(objPath).member("children"));
        const Json& kids = requireArray(obj["children"], Where(kidsPath));
        open.push_back({&kids, 0, o, kidsPath});
      }
    }
  }

  int32_t objectType(const Json& obj, const Where& path) {
    if (!obj.contains("type")) return kTypeNull;
    const std::string& t = requireString(obj["type"], path.member("type"));
    std::string known;
    for (const ObjectTypeName& k : kObjectTypes) {
      if (t == k.name) return k.type;
      known += (known.empty() ? "" : ", ") + std::string(k.name);
    }
    fault(path.member("type"), "unknown object type " + inQuotes(t) + " (known: " + known + ")");
  }

  // One object with its geometry and its tags' JSON; not its children.
  Object* readObject(const Json& obj, const PathNode* pathNode, Object* parent) {
    const Where path(pathNode);
    requireObject(obj, path);
    onlyKeys(obj, path, {"name", "type", "position", "rotation", "scale", "radius", "mesh", "obj", "children", "tags"});
    if (!obj.contains("name")) fault(path, "the object has no \"name\"");
    const std::string& name = requireString(obj["name"], path.member("name"));
    if (name.empty()) fault(path.member("name"), "an object name must not be empty");
    if (const Object* taken = out.doc->find(name))
      fault(path.member("name"), "the name " + inQuotes(name) + " is used already by " + pathOf(*taken));
    const int32_t type = objectType(obj, path);

    float pos[3] = {0, 0, 0}, rot[3] = {0, 0, 0}, scale[3] = {1, 1, 1};
    if (obj.contains("position")) requireVector(obj["position"], path.member("position"), pos);
    if (obj.contains("rotation")) requireVector(obj["rotation"], path.member("rotation"), rot);
    if (obj.contains("scale")) requireVector(obj["scale"], path.member("scale"), scale);

    float radius = kCircleRadiusDefault;
    if (obj.contains("radius")) {
      if (type != kTypeCircle) fault(path.member("radius"), "\"radius\" belongs to \"circle\" objects only");
      radius = requireFloat(obj["radius"], path.member("radius"));
      if (radius < 0) fault(path.member("radius"), "a circle's radius must not be negative");
    }
    if ((obj.contains("mesh") || obj.contains("obj")) && type != kTypePolygon)
      fault(path.member(obj.contains("mesh") ? "mesh" : "obj"), "geometry belongs to \"polygon\" objects only");
    if (obj.contains("mesh") && obj.contains("obj"))
      fault(path.member("obj"), "give either \"mesh\" or \"obj\", not both");
    PolygonMesh mesh;
    std::string objPath;
    if (obj.contains("mesh")) mesh = readMesh(obj["mesh"], path.member("mesh"));
    if (obj.contains("obj")) {
      const std::string& file = requireString(obj["obj"], path.member("obj"));
      if (file.empty()) fault(path.member("obj"), "the OBJ file name is empty");
      fs::path p(file);
      if (p.is_relative()) p = fs::path(baseDir) / p;
      objPath = p.lexically_normal().string();
      auto loaded = readObjFile(objPath);
      if (!loaded) fault(path.member("obj"), loaded.error());
      mesh = std::move(loaded.value());
      for (const std::string& w : mesh.warnings)
        out.warnings.push_back({WarningKey::SkippedObjData, path.member("obj").str() + ": " + w});
    }

    auto created = out.doc->createObject(name, type, parent);
    if (!created) fault(path.member("name"), created.error());
    Object* o = created.value();
    o->setPSR({pos[0], pos[1], pos[2]}, {rot[0], rot[1], rot[2]}, {scale[0], scale[1], scale[2]});
    if (type == kTypeCircle) o->data().setReal(kCircleRadiusId, radius);
    if (type == kTypePolygon && (!mesh.points.empty() || !mesh.polygons.empty())) {
      auto set = o->setMesh(std::move(mesh.points), mesh.polygons);
      if (!set) fault(path.member(objPath.empty() ? "mesh" : "obj"), set.error());
      if (!objPath.empty()) {
        std::error_code ec;
        fs::path abs = fs::absolute(objPath, ec);
        out.objSources[o] = ObjSource{ec ? objPath : abs.lexically_normal().string(), geometryFingerprint(*o)};
      }
    }

    if (obj.contains("tags")) {
      const Json& tags = requireArray(obj["tags"], path.member("tags"));
      for (size_t i = 0; i < tags.size(); ++i) {
        const PendingTag pending{o, &tags[i], pathNode, i};
        const Where tp = pending.where();
        requireObject(tags[i], tp);
        onlyKeys(tags[i], tp, {"type", "params", "recordStart"});
        this->tags.push_back(pending);
      }
    }
    return o;
  }

  PolygonMesh readMesh(const Json& m, const Where& path) {
    requireObject(m, path);
    onlyKeys(m, path, {"points", "polygons"});
    if (!m.contains("points")) fault(path, "the mesh has no \"points\"");
    if (!m.contains("polygons")) fault(path, "the mesh has no \"polygons\"");
    PolygonMesh mesh;
    const Where pointsPath = path.member("points");
    const Json& pts = requireArray(m["points"], pointsPath);
    mesh.points.reserve(pts.size());
    for (size_t i = 0; i < pts.size(); ++i) {
      float v[3];
      requireVector(pts[i], pointsPath.element(i), v);
      mesh.points.push_back({v[0], v[1], v[2]});
    }
    const Where polygonsPath = path.member("polygons");
    const Json& polys = requireArray(m["polygons"], polygonsPath);
    mesh.polygons.reserve(polys.size());
    for (size_t i = 0; i < polys.size(); ++i) {
      const Where pp = polygonsPath.element(i);
      const Json& poly = polys[i];
      if (!poly.is_array() || poly.size() < 3)
        fault(pp, "expected a polygon [a, b, c] or [a, b, c, d], got " + (poly.is_array() ? "an array of " + std::to_string(poly.size()) + " indices" : describe(poly)));
      std::vector<uint32_t> idx;
      idx.reserve(poly.size());
      for (size_t k = 0; k < poly.size(); ++k) {
        int32_t v = requireInt(poly[k], pp.element(k));
        if (v < 0 || size_t(v) >= mesh.points.size())
          fault(pp.element(k), "point index " + std::to_string(v) + " out of range (the mesh has " +
                                   std::to_string(mesh.points.size()) + " points)");
        idx.push_back(uint32_t(v));
      }
      mesh.polygons.push_back(std::move(idx));
    }
    return mesh;
  }

  // ---- tags ----

  std::shared_ptr<TagType> tagType(const Json& tag, const Where& path) {
    if (!tag.contains("type")) fault(path, "the tag has no \"type\"");
    const std::string& name = requireString(tag["type"], path.member("type"));
    if (auto t = findTagType(std::string_view(name))) return t;
    std::string known;
    for (auto& t : registeredTagTypes()) known += (known.empty() ? "" : ", ") + t->name;
    fault(path.member("type"), "unknown tag type " + inQuotes(name) +
                                   (known.empty() ? " (the module registered no tag type)" : " (known: " + known + ")"));
  }

  Object* linkTarget(const Json& v, const Where& path) {
    if (v.is_null()) return nullptr;
    const std::string& name = requireString(v, path);
    Object* o = out.doc->find(name);
    if (!o) fault(path, "no object is named " + inQuotes(name));
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
                 const Where& path) {
    const DescriptionEntry* entry = desc ? desc->find(std::string_view(key)) : nullptr;
    int32_t id = 0;
    if (entry) id = entry->id;
    else if (decimalId(key, &id)) entry = desc ? desc->find(id) : nullptr;
    else {
      std::string what = "unknown parameter " + inQuotes(key);
      if (desc) {
        // Suggest a name a typo most likely meant.
        NearestName guess(key);
        for (const DescriptionEntry& e : desc->entries) guess.consider(e.name);
        if (!guess.best().empty()) what += " (did you mean \"" + guess.best() + "\"?)";
      }
      fault(path, what + "; use a parameter name of the tag's description or a decimal id");
    }

    if (v.is_object()) {  // typed form
      if (v.size() != 1)
        fault(path, "a typed value holds exactly one of \"real\", \"long\", \"bool\", \"link\", \"matrix\"");
      const std::string& kind = v.begin().key();
      const Json& x = v.begin().value();
      const Where xp = path.member(kind);
      if (kind == "real") c.setReal(id, requireFloat(x, xp));
      else if (kind == "long") c.setLong(id, requireInt(x, xp));
      else if (kind == "bool") c.setBool(id, requireBool(x, xp));
      else if (kind == "link") c.setLink(id, linkTarget(x, xp));
      else if (kind == "matrix") {
        if (!x.is_array() || x.size() != 12)
          fault(xp, "expected 12 numbers [offx, offy, offz, v1x, v1y, v1z, v2x, v2y, v2z, v3x, v3y, v3z], got " +
                        (x.is_array() ? "an array of " + std::to_string(x.size()) : describe(x)));
        float f[12];
        for (size_t i = 0; i < 12; ++i) f[i] = requireFloat(x[i], xp.element(i));
        c.setMatrix(id, KwMatrix{{f[0], f[1], f[2]}, {f[3], f[4], f[5]}, {f[6], f[7], f[8]}, {f[9], f[10], f[11]}});
      } else {
        fault(xp, "unknown value type " + inQuotes(kind) + " (known: real, long, bool, link, matrix)");
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
      const Where tp = p.where();
      auto type = tagType(tag, tp);
      bool press = false;
      if (tag.contains("recordStart")) press = requireBool(tag["recordStart"], tp.member("recordStart"));
      auto created = createTag(*p.obj, type->id);
      if (!created) fault(tp, "the tag cannot be created: " + created.error());
      Tag* t = created.value();
      const DescriptionInfo* desc = findDescription(type->description);
      if (!desc) desc = &type->parsed;
      if (tag.contains("params")) {
        const Where pp = tp.member("params");
        const Json& params = requireObject(tag["params"], pp);
        for (auto it = params.begin(); it != params.end(); ++it)
          readParam(t->data(), desc, it.key(), it.value(), pp.member(it.key()));
      }
      if (press) out.recordStart.push_back(t);
    }
    // Evaluation order for the presses (a set: a scene may hold many tags).
    const std::unordered_set<const Tag*> pressed(out.recordStart.begin(), out.recordStart.end());
    std::vector<Tag*> ordered;
    for (Tag* t : out.doc->tagsInOrder())
      if (pressed.count(t)) ordered.push_back(t);
    out.recordStart = std::move(ordered);
  }

  void read(const Json& root) {
    if (!root.is_object()) fault("top level", "expected an object, got " + describe(root));
    onlyKeys(root, Where(), {"format", "fps", "minFrame", "maxFrame", "objects"});
    const Where top;
    if (!root.contains("format"))
      fault(top.member("format"), "missing; a scene file starts with \"format\": \"" + std::string(kFormat) + "\"");
    const std::string& format = requireString(root["format"], top.member("format"));
    if (format != kFormat)
      fault(top.member("format"), inQuotes(format) + " is not a known format (expected \"" + kFormat + "\")");
    int32_t fps = root.contains("fps") ? requireInt(root["fps"], top.member("fps")) : 30;
    int32_t minFrame = root.contains("minFrame") ? requireInt(root["minFrame"], top.member("minFrame")) : 0;
    int32_t maxFrame = root.contains("maxFrame") ? requireInt(root["maxFrame"], top.member("maxFrame")) : 300;
    if (fps < 1) fault(top.member("fps"), "the frame rate must be 1 or more, not " + std::to_string(fps));
    if (maxFrame < minFrame && !root.contains("maxFrame"))
      fault(top.member("maxFrame"), "missing, and its default 300 lies before minFrame " + std::to_string(minFrame) +
                                        "; give the last frame");
    if (maxFrame < minFrame)
      fault(top.member("maxFrame"), std::to_string(maxFrame) + " lies before minFrame " + std::to_string(minFrame));
    out.doc = std::make_unique<Document>();
    auto tl = out.doc->setTimeline(fps, minFrame, maxFrame);
    if (!tl) fault(top.member("fps"), tl.error());
    if (root.contains("objects")) readObjects(root["objects"], paths.keep(top.member("objects")), nullptr);
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
