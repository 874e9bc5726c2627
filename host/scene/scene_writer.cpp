// Writing a document as a scene file.
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "description.h"
#include "registry.h"
#include "scene/atomic_file.h"
#include "scene/scene_file.h"
#include "tag.h"

namespace kwhost::scene {

namespace {

namespace fs = std::filesystem;

// The number that reads back as exactly f: the shortest decimal of the float
// when it survives the reader's double-then-float rounding, else the double
// value of f itself (exact, only longer).
Json floatJson(float f, const std::string& where) {
  if (!std::isfinite(f)) fault(where, "holds a value that is not a finite number; JSON cannot store it");
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, f);
  *r.ptr = '\0';
  double d = std::strtod(buf, nullptr);
  if (static_cast<float>(d) != f || std::signbit(d) != std::signbit(f)) d = static_cast<double>(f);
  return d;
}

Json vectorJson(const KwVector& v, const std::string& where) {
  return Json::array({floatJson(v.x, where), floatJson(v.y, where), floatJson(v.z, where)});
}

Json matrixJson(const KwMatrix& m, const std::string& where) {
  Json a = Json::array();
  for (const KwVector* v : {&m.off, &m.v1, &m.v2, &m.v3})
    for (float c : {v->x, v->y, v->z}) a.push_back(floatJson(c, where));
  return a;
}

const char* typeName(int32_t type) {
  switch (type) {
    case kTypeNull: return "null";
    case kTypeCircle: return "circle";
    case kTypePolygon: return "polygon";
    case kTypeCube: return "cube";
    default: return nullptr;
  }
}

struct Writer {
  const Document& doc;
  const std::map<const Object*, ObjSource>* sources;
  fs::path targetDir;

  Json linkJson(const Container& c, int32_t id, const std::string& where) {
    const KwNode* n = c.getLinkAnywhere(id);
    if (!n) return nullptr;
    if (n->kind() != KwNode::Kind::Object || n->document() != &doc) return nullptr;  // reads null in this document
    return static_cast<const Object*>(n)->nameRef();
  }

  Json tagJson(const Tag& tag, const std::string& path) {
    Json t = Json::object();
    t["type"] = tag.tagType().name;
    const DescriptionInfo* desc = findDescription(tag.tagType().description);
    if (!desc) desc = &tag.tagType().parsed;
    Json params = Json::object();
    for (const auto& [id, value] : tag.data().entries) {
      const DescriptionEntry* e = desc->find(id);
      const std::string key = e ? e->name : std::to_string(id);
      const std::string where = member(member(path, "params"), key);
      Json v = Json::object();
      switch (entryType(value)) {
        case EntryType::Bool: v["bool"] = std::get<bool>(value); break;
        case EntryType::Long: v["long"] = std::get<int32_t>(value); break;
        case EntryType::Real: v["real"] = floatJson(std::get<float>(value), where); break;
        case EntryType::Matrix: v["matrix"] = matrixJson(std::get<KwMatrix>(value), where); break;
        case EntryType::Link: v["link"] = linkJson(tag.data(), id, where); break;
        case EntryType::String: fault(where, "holds a text, which a scene file cannot store");
      }
      params[key] = std::move(v);
    }
    t["params"] = std::move(params);
    return t;
  }

  Json meshJson(const Object& o, const std::string& path) {
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
    for (const KwVector& p : o.points()) points.push_back(vectorJson(p, member(path, "mesh")));
    Json polys = Json::array();
    const auto& t = o.triangles();
    for (size_t i = 0; i + 2 < t.size(); i += 3) polys.push_back(Json::array({t[i], t[i + 1], t[i + 2]}));
    return Json{{"mesh", Json{{"points", std::move(points)}, {"polygons", std::move(polys)}}}};
  }

  Json objectJson(const Object& o, const std::string& path) {
    const char* type = typeName(o.type());
    if (!type) fault(path, "object \"" + o.nameRef() + "\" has type " + std::to_string(o.type()) + ", which a scene file cannot store");
    Json j = Json::object();
    j["name"] = o.nameRef();
    j["type"] = type;
    j["position"] = vectorJson(o.position(), member(path, "position"));
    j["rotation"] = vectorJson(o.rotation(), member(path, "rotation"));
    j["scale"] = vectorJson(o.scale(), member(path, "scale"));
    if (o.type() == kTypeCircle) j["radius"] = floatJson(o.radius(), member(path, "radius"));
    if (o.type() == kTypePolygon && (!o.points().empty() || !o.triangles().empty())) {
      Json geometry = meshJson(o, path);
      for (auto it = geometry.begin(); it != geometry.end(); ++it) j[it.key()] = std::move(it.value());
    }
    if (!o.children().empty()) {
      Json kids = Json::array();
      for (size_t i = 0; i < o.children().size(); ++i)
        kids.push_back(objectJson(*o.children()[i], element(member(path, "children"), i)));
      j["children"] = std::move(kids);
    }
    if (!o.tags().empty()) {
      Json tags = Json::array();
      for (size_t i = 0; i < o.tags().size(); ++i)
        tags.push_back(tagJson(*o.tags()[i], element(member(path, "tags"), i)));
      j["tags"] = std::move(tags);
    }
    return j;
  }

  Json sceneJson() {
    Json root = Json::object();
    root["format"] = kFormat;
    root["fps"] = doc.fps();
    root["minFrame"] = doc.minFrame();
    root["maxFrame"] = doc.maxFrame();
    Json objs = Json::array();
    for (size_t i = 0; i < doc.objects().size(); ++i) objs.push_back(objectJson(*doc.objects()[i], element("objects", i)));
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

void format(const Json& j, int indent, std::string& out) {
  const std::string pad(size_t(indent) * 2, ' '), padIn(size_t(indent + 1) * 2, ' ');
  if (isScalar(j)) {
    out += j.dump();
    return;
  }
  if (j.is_array()) {
    if (j.empty()) {
      out += "[]";
      return;
    }
    if (isFlat(j)) {  // [1, 2, 3] on one line
      out += '[';
      bool first = true;
      for (const Json& e : j) out += (first ? "" : ", ") + e.dump(), first = false;
      out += ']';
      return;
    }
    out += "[\n";
    for (size_t i = 0; i < j.size(); ++i) {
      out += padIn;
      format(j[i], indent + 1, out);
      out += i + 1 < j.size() ? ",\n" : "\n";
    }
    out += pad + "]";
    return;
  }
  if (j.empty()) {
    out += "{}";
    return;
  }
  // Small objects of flat values ({"real": 1.5}) on one line.
  bool small = true;
  for (auto it = j.begin(); it != j.end() && small; ++it) small = isScalar(it.value()) && j.size() <= 2;
  if (small) {
    out += '{';
    bool first = true;
    for (auto it = j.begin(); it != j.end(); ++it) {
      out += (first ? "" : ", ") + Json(it.key()).dump() + ": ";
      format(it.value(), indent + 1, out);
      first = false;
    }
    out += '}';
    return;
  }
  out += "{\n";
  size_t i = 0;
  for (auto it = j.begin(); it != j.end(); ++it, ++i) {
    out += padIn + Json(it.key()).dump() + ": ";
    format(it.value(), indent + 1, out);
    out += i + 1 < j.size() ? ",\n" : "\n";
  }
  out += pad + "}";
}

}  // namespace

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
  format(j, 0, out);
  out += '\n';
  return out;
}

Result<Json> sceneToJson(const Document& doc, const std::map<const Object*, ObjSource>* objSources,
                         const std::string& targetDir) {
  std::error_code ec;
  fs::path dir = fs::absolute(targetDir.empty() ? "." : targetDir, ec).lexically_normal();
  Writer w{doc, objSources, dir};
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
