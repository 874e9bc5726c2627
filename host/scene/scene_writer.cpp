// Writing a document as a scene file.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "core/description.h"
#include "core/registry.h"
#include "core/atomic_file.h"
#include "scene/scene_file.h"
#include "core/tag.h"

namespace kwhost::scene {

namespace {

namespace fs = std::filesystem;

// The number that reads back as exactly f: the shortest decimal of the float
// when it survives the reader's double-then-float rounding, else the double
// value of f itself (exact, only longer).
Json floatJson(float f, const Where& where) {
  if (!std::isfinite(f)) fault(where, "holds a value that is not a finite number; JSON cannot store it");
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, f);
  *r.ptr = '\0';
  double d = std::strtod(buf, nullptr);
  if (static_cast<float>(d) != f || std::signbit(d) != std::signbit(f)) d = static_cast<double>(f);
  return d;
}

Json vectorJson(const KwVector& v, const Where& where) {
  return Json::array({floatJson(v.x, where), floatJson(v.y, where), floatJson(v.z, where)});
}

Json matrixJson(const KwMatrix& m, const Where& where) {
  Json a = Json::array();
  for (const KwVector* v : {&m.off, &m.v1, &m.v2, &m.v3})
    for (float c : {v->x, v->y, v->z}) a.push_back(floatJson(c, where));
  return a;
}

// Adds a member whose key obj does not hold yet, without the ordered
// object's search for an equal key (a container may hold many thousands of
// entries; ids and description names never coincide).
void appendMember(Json& obj, const std::string& key, Json value) {
  static_cast<Json::object_t::Container&>(obj.get_ref<Json::object_t&>()).emplace_back(key, std::move(value));
}

struct Writer {
  const Document& doc;
  const std::map<const Object*, ObjSource>* sources;
  fs::path targetDir;
  PathArena paths;

  Json linkJson(const Container& c, int32_t id) {
    const KwNode* n = c.getLinkAnywhere(id);
    if (!n) return nullptr;
    if (n->kind() != KwNode::Kind::Object || n->document() != &doc) return nullptr;  // reads null in this document
    return static_cast<const Object*>(n)->nameRef();
  }

  Json tagJson(const Tag& tag, const Where& path) {
    Json t = Json::object();
    t["type"] = tag.tagType().name;
    const DescriptionInfo* desc = findDescription(tag.tagType().description);
    if (!desc) desc = &tag.tagType().parsed;
    Json params = Json::object();
    for (const auto& [id, value] : tag.data().entries) {
      const DescriptionEntry* e = desc->find(id);
      const std::string key = e ? e->name : std::to_string(id);
      const Where where = path.member("params").member(key);
      Json v = Json::object();
      switch (entryType(value)) {
        case EntryType::Bool: v["bool"] = std::get<bool>(value); break;
        case EntryType::Long: v["long"] = std::get<int32_t>(value); break;
        case EntryType::Real: v["real"] = floatJson(std::get<float>(value), where); break;
        case EntryType::Matrix: v["matrix"] = matrixJson(std::get<KwMatrix>(value), where); break;
        case EntryType::Link: v["link"] = linkJson(tag.data(), id); break;
        case EntryType::String: fault(where, "holds a text, which a scene file cannot store");
      }
      appendMember(params, key, std::move(v));
    }
    t["params"] = std::move(params);
    return t;
  }

  Json meshJson(const Object& o, const Where& path) {
    const ObjSource* src = nullptr;
    if (sources)
      if (auto it = sources->find(&o); it != sources->end()) src = &it->second;
    if (src && src->fingerprint == geometryFingerprint(o)) {
      // The geometry is still that of its OBJ file: refer to it.
      fs::path file(src->path);
      fs::path rel = file.lexically_relative(targetDir);
      return Json{{"obj", rel.empty() ? file.string() : rel.string()}};
    }
    Json points = Json::array();
    for (const KwVector& p : o.points()) points.push_back(vectorJson(p, path.member("mesh")));
    Json polys = Json::array();
    const auto& t = o.triangles();
    for (size_t i = 0; i + 2 < t.size(); i += 3) polys.push_back(Json::array({t[i], t[i + 1], t[i + 2]}));
    return Json{{"mesh", Json{{"points", std::move(points)}, {"polygons", std::move(polys)}}}};
  }

  // An object's own members, up to its children (added by the caller) and
  // its tags (added after them).
  Json objectJson(const Object& o, const Where& path) {
    const char* type = objectTypeName(o.type());
    if (!type)
      fault(path, "object " + inQuotes(o.nameRef()) + " has type " + std::to_string(o.type()) +
                      ", which a scene file cannot store");
    Json j = Json::object();
    j["name"] = o.nameRef();
    j["type"] = type;
    j["position"] = vectorJson(o.position(), path.member("position"));
    j["rotation"] = vectorJson(o.rotation(), path.member("rotation"));
    j["scale"] = vectorJson(o.scale(), path.member("scale"));
    if (o.type() == kTypeCircle) j["radius"] = floatJson(o.radius(), path.member("radius"));
    if (o.type() == kTypePolygon && (!o.points().empty() || !o.triangles().empty())) {
      Json geometry = meshJson(o, path);
      for (auto it = geometry.begin(); it != geometry.end(); ++it) j[it.key()] = std::move(it.value());
    }
    return j;
  }

  void addTags(const Object& o, const Where& path, Json& j) {
    if (o.tags().empty()) return;
    Json tags = Json::array();
    for (size_t i = 0; i < o.tags().size(); ++i) tags.push_back(tagJson(*o.tags()[i], path.member("tags").element(i)));
    j["tags"] = std::move(tags);
  }

  // The tree of any depth without a call per level: objects in depth-first
  // pre-order, each one's JSON made when it is reached and finished (its
  // children moved in) once its last child is finished.
  Json sceneJson() {
    Json root = Json::object();
    root["format"] = kFormat;
    root["fps"] = doc.fps();
    root["minFrame"] = doc.minFrame();
    root["maxFrame"] = doc.maxFrame();
    struct Open {
      const Object* obj;
      const PathNode* path;
      Json json;
      Json children;  // finished children so far
      size_t next = 0;
    };
    Json objs = Json::array();
    const PathNode* topPath = paths.keep(Where().member("objects"));
    std::vector<Open> open;
    size_t nextTop = 0;
    while (true) {
      if (open.empty()) {
        if (nextTop == doc.objects().size()) break;
        const Object& o = *doc.objects()[nextTop];
        const PathNode* p = paths.keep(Where(topPath).element(nextTop++));
        open.push_back({&o, p, objectJson(o, Where(p)), Json::array()});
        continue;
      }
      Open& top = open.back();
      if (top.next < top.obj->children().size()) {
        const size_t i = top.next++;
        const Object& c = *top.obj->children()[i];
        const PathNode* p = paths.keep(Where(top.path).member("children").element(i));
        Json j = objectJson(c, Where(p));  // before the push: top may move
        open.push_back({&c, p, std::move(j), Json::array()});
        continue;
      }
      Open done = std::move(open.back());
      open.pop_back();
      if (!done.children.empty()) done.json["children"] = std::move(done.children);
      addTags(*done.obj, Where(done.path), done.json);
      if (open.empty()) objs.push_back(std::move(done.json));
      else open.back().children.push_back(std::move(done.json));
    }
    root["objects"] = std::move(objs);
    return root;
  }
};

bool isScalar(const Json& j) { return !j.is_array() && !j.is_object(); }
bool isFlat(const Json& j) {
  if (isScalar(j)) return true;
  for (const Json& e : j)
    if (!isScalar(e)) return false;
  return true;
}

// Indentation grows with nesting up to this many levels and then stays:
// ordinary scenes nest far less, and a scene 20,000 objects deep would
// otherwise write gigabytes of spaces.
constexpr size_t kMaxIndentLevels = 64;

void pad(std::string& out, size_t level) { out.append(std::min(level, kMaxIndentLevels) * 2, ' '); }

// Writes j if it fits on one line (a scalar, an empty or flat array, a small
// object of scalars) and returns true; otherwise writes nothing.
bool inlineJson(const Json& j, std::string& out) {
  if (isScalar(j)) {
    out += j.dump();
    return true;
  }
  if (j.empty()) {
    out += j.is_array() ? "[]" : "{}";
    return true;
  }
  if (j.is_array()) {
    if (!isFlat(j)) return false;
    out += '[';  // [1, 2, 3] on one line
    bool first = true;
    for (const Json& e : j) out += (first ? "" : ", ") + e.dump(), first = false;
    out += ']';
    return true;
  }
  // Small objects of flat values ({"real": 1.5}) on one line.
  if (j.size() > 2 || !isFlat(j)) return false;
  out += '{';
  bool first = true;
  for (auto it = j.begin(); it != j.end(); ++it) {
    out += (first ? "" : ", ") + Json(it.key()).dump() + ": " + it.value().dump();
    first = false;
  }
  out += '}';
  return true;
}

// Pretty-prints j of any depth: a stack of the open arrays and objects
// instead of a call per level.
void format(const Json& j, std::string& out) {
  if (inlineJson(j, out)) return;
  struct Open {
    const Json* json;
    Json::const_iterator next;
    size_t level;
  };
  std::vector<Open> open;
  out += j.is_array() ? "[\n" : "{\n";
  open.push_back({&j, j.begin(), 0});
  while (!open.empty()) {
    Open& top = open.back();
    if (top.next == top.json->end()) {
      out += '\n';
      pad(out, top.level);
      out += top.json->is_array() ? ']' : '}';
      open.pop_back();
      continue;
    }
    if (top.next != top.json->begin()) out += ",\n";
    pad(out, top.level + 1);
    if (top.json->is_object()) out += Json(top.next.key()).dump() + ": ";
    const Json& v = top.next.value();
    ++top.next;
    if (inlineJson(v, out)) continue;
    out += v.is_array() ? "[\n" : "{\n";
    open.push_back({&v, v.begin(), top.level + 1});  // top is not used after this
  }
}

}  // namespace

const char* objectTypeName(int32_t type) {
  for (const ObjectTypeName& k : kObjectTypes)
    if (k.type == type) return k.name;
  return nullptr;
}

uint64_t geometryFingerprint(const Object& obj) {
  // FNV-1a over the bytes of the points and the triangle indices.
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](const void* data, size_t n) {
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  };
  size_t np = obj.points().size(), nt = obj.triangles().size();
  mix(&np, sizeof np);
  mix(&nt, sizeof nt);
  if (np) mix(obj.points().data(), np * sizeof(KwVector));
  if (nt) mix(obj.triangles().data(), nt * sizeof(uint32_t));
  return h;
}

std::string formatJson(const Json& j) {
  std::string out;
  format(j, out);
  out += '\n';
  return out;
}

Result<Json> sceneToJson(const Document& doc, const std::map<const Object*, ObjSource>* objSources,
                         const std::string& targetDir) {
  std::error_code ec;
  fs::path dir = fs::absolute(targetDir.empty() ? "." : targetDir, ec).lexically_normal();
  Writer w{doc, objSources, dir, {}};
  try {
    return w.sceneJson();
  } catch (const Fault& f) {
    return fail(f.where + ": " + f.what);
  }
}

Result<std::string> sceneText(const Document& doc, const std::map<const Object*, ObjSource>* objSources,
                              const std::string& targetDir) {
  auto j = sceneToJson(doc, objSources, targetDir);
  if (!j) return fail(j.error());
  try {
    return formatJson(j.value());
  } catch (const Json::exception& e) {  // a name that is no valid UTF-8
    return fail(std::string("cannot write the scene as JSON: ") + e.what());
  }
}

Result<void> writeSceneFile(const Document& doc, const std::string& path,
                            const std::map<const Object*, ObjSource>* objSources) {
  std::string dir = fs::path(path).parent_path().string();
  auto text = sceneText(doc, objSources, dir.empty() ? "." : dir);
  if (!text) return fail(path + ": " + text.error() + "; the scene was not saved");
  return writeFileAtomically(path, *text);
}

}  // namespace kwhost::scene
