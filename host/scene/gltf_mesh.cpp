#include "scene/gltf_mesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <tuple>

#include "scene/gltf_file.h"

namespace kwhost::scene {

namespace {

using Matrix = std::array<double, 16>;  // column-major, as glTF writes it
constexpr Matrix kIdentity = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};

constexpr uint64_t kTrianglesMode = 4;
constexpr int kUnsignedByte = 5121, kUnsignedShort = 5123, kUnsignedInt = 5125, kFloat = 5126;
// Elements read and converted at a time: whole triangles, some 100 to 300 KB,
// so that each batch is converted while it is still in the cache.
constexpr uint64_t kBatch = 3 * 8192;
// A ground larger than this is taken for a damaged or hostile file rather
// than allocated (it would need more than 3 GB).
constexpr uint64_t kMostPoints = uint64_t(1) << 28, kMostTriangles = uint64_t(1) << 28;

static_assert(sizeof(KwVector) == 3 * sizeof(float), "points are read straight into KwVector storage");

double number(const Json& j, const Where& w) {
  if (!j.is_number()) fault(w, "expected a number, got " + describe(j));
  const double d = j.get<double>();
  if (!std::isfinite(d)) fault(w, "the number " + j.dump() + " is not finite");
  return d;
}

void numbers(const Json& node, const Where& w, const char* key, size_t n, double* out) {
  if (!node.contains(key)) return;
  const Json& a = requireArray(node[key], w.member(key));
  if (a.size() != n) fault(w.member(key), "expected " + std::to_string(n) + " numbers, got " + std::to_string(a.size()));
  for (size_t i = 0; i < n; ++i) out[i] = number(a[i], w.member(key).element(i));
}

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix c{};
  for (int col = 0; col < 4; ++col)
    for (int row = 0; row < 4; ++row) {
      double s = 0;
      for (int k = 0; k < 4; ++k) s += a[k * 4 + row] * b[col * 4 + k];
      c[col * 4 + row] = s;
    }
  return c;
}

// A node's local matrix: its "matrix", or translation x rotation x scale.
Matrix nodeMatrix(const Json& node, const Where& w) {
  Matrix m = kIdentity;
  if (node.contains("matrix")) {
    numbers(node, w, "matrix", 16, m.data());
    return m;
  }
  double t[3] = {0, 0, 0}, q[4] = {0, 0, 0, 1}, s[3] = {1, 1, 1};
  numbers(node, w, "translation", 3, t);
  numbers(node, w, "rotation", 4, q);
  numbers(node, w, "scale", 3, s);
  const double x = q[0], y = q[1], z = q[2], qw = q[3];
  const double r[9] = {1 - 2 * (y * y + z * z), 2 * (x * y + qw * z), 2 * (x * z - qw * y),
                       2 * (x * y - qw * z), 1 - 2 * (x * x + z * z), 2 * (y * z + qw * x),
                       2 * (x * z + qw * y), 2 * (y * z - qw * x), 1 - 2 * (x * x + y * y)};
  for (int col = 0; col < 3; ++col)
    for (int row = 0; row < 3; ++row) m[col * 4 + row] = r[col * 3 + row] * s[col];
  for (int row = 0; row < 3; ++row) m[12 + row] = t[row];
  return m;
}

double determinant3(const Matrix& m) {
  return m[0] * (m[5] * m[10] - m[9] * m[6]) - m[4] * (m[1] * m[10] - m[9] * m[2]) +
         m[8] * (m[1] * m[6] - m[5] * m[2]);
}

struct Instance {
  uint64_t mesh;
  Matrix global;
  uint64_t node;  // the node that places it, for messages
};

// The meshes the chosen scene places, in depth-first pre-order of its nodes.
std::vector<Instance> sceneInstances(const Json& root, std::string* sceneWhere) {
  const Where top;
  if (!root.contains("scenes") || !root["scenes"].is_array() || root["scenes"].empty())
    fault("scenes", "the file has no scene, so nothing places its meshes: no triangles");
  const uint64_t s = gltfCount(root, top, "scene", 0);
  const Json& scene = gltfItem(root, "scenes", s, top.member("scene"));
  const Where sw = top.member("scenes").element(s);
  *sceneWhere = sw.str();
  const size_t nodeCount = root.contains("nodes") && root["nodes"].is_array() ? root["nodes"].size() : 0;
  std::vector<char> seen(nodeCount, 0);
  struct Open {
    uint64_t node;
    Matrix parent;
  };
  std::vector<Open> open;
  auto pushAll = [&](const Json& holder, const Where& w, const Matrix& parent) {
    if (!holder.contains("nodes") && !holder.contains("children")) return;
    const char* key = holder.contains("nodes") ? "nodes" : "children";
    const Json& list = requireArray(holder[key], w.member(key));
    for (size_t i = list.size(); i-- > 0;) open.push_back({gltfCount(list[i], w.member(key).element(i)), parent});
  };
  pushAll(scene, sw, kIdentity);
  std::vector<Instance> out;
  while (!open.empty()) {
    const Open o = open.back();
    open.pop_back();
    const Json& node = gltfItem(root, "nodes", o.node, sw);
    const Where nw = top.member("nodes").element(o.node);
    if (seen[o.node]) fault(nw, "is reached twice from " + sw.str() + " (nodes must form trees, without cycles)");
    seen[o.node] = 1;
    const Matrix local = nodeMatrix(node, nw);
    const Matrix global = local == kIdentity ? o.parent : o.parent == kIdentity ? local : multiply(o.parent, local);
    if (node.contains("mesh")) out.push_back({gltfCount(node["mesh"], nw.member("mesh")), global, o.node});
    if (node.contains("children")) pushAll(node, nw, global);
  }
  return out;
}

size_t componentSize(int type) {
  switch (type) {
    case 5120: case kUnsignedByte: return 1;
    case 5122: case kUnsignedShort: return 2;
    case kUnsignedInt: case kFloat: return 4;
    default: return 0;
  }
}

const char* componentName(int type) {
  switch (type) {
    case 5120: return "signed bytes";
    case kUnsignedByte: return "unsigned bytes";
    case 5122: return "signed shorts";
    case kUnsignedShort: return "unsigned shorts";
    case kUnsignedInt: return "unsigned ints";
    case kFloat: return "32-bit floats";
    default: return "an unknown component type";
  }
}

size_t componentsOf(const std::string& type) {
  static const std::pair<const char*, size_t> kTypes[] = {{"SCALAR", 1}, {"VEC2", 2}, {"VEC3", 3}, {"VEC4", 4},
                                                           {"MAT2", 4},   {"MAT3", 9}, {"MAT4", 16}};
  for (const auto& [name, n] : kTypes)
    if (type == name) return n;
  return 0;
}

// Bytes of one buffer: where a buffer view or a sparse part lies.
struct Stretch {
  const GltfBuffer* buffer = nullptr;
  uint64_t start = 0;   // byte offset in the buffer
  uint64_t length = 0;  // bytes of the view
  uint64_t stride = 0;  // 0: tightly packed
};

Stretch bufferView(const GltfFile& f, uint64_t i, const Where& from) {
  const Json& v = gltfItem(f.json(), "bufferViews", i, from);
  const Where w = Where().member("bufferViews").element(i);
  if (!v.contains("buffer")) fault(w.member("buffer"), "missing");
  const uint64_t b = gltfCount(v["buffer"], w.member("buffer"));
  if (b >= f.bufferCount())
    fault(w.member("buffer"), "refers to buffers[" + std::to_string(b) + "], but the file has " +
                                  std::to_string(f.bufferCount()) + " buffers");
  if (!v.contains("byteLength")) fault(w.member("byteLength"), "missing");
  Stretch s{&f.buffer(b), gltfCount(v, w, "byteOffset", 0), gltfCount(v["byteLength"], w.member("byteLength")),
            gltfCount(v, w, "byteStride", 0)};
  if (s.start + s.length > s.buffer->size())
    fault(w, "covers bytes " + std::to_string(s.start) + " to " + std::to_string(s.start + s.length) + " of buffers[" +
                 std::to_string(b) + "], which has " + std::to_string(s.buffer->size()));
  return s;
}

struct Sparse {
  uint64_t count = 0;
  Stretch indices, values;
  int indexType = 0;
};

struct Accessor {
  std::string where;  // "accessors[3]"
  uint64_t count = 0;
  int componentType = 0;
  size_t components = 0;
  size_t elementSize = 0;
  Stretch data;  // start: the first element's byte; stride: between elements
  Sparse sparse;
};

Accessor accessor(const GltfFile& f, uint64_t i, const Where& from) {
  const Json& a = gltfItem(f.json(), "accessors", i, from);
  const Where w = Where().member("accessors").element(i);
  Accessor out;
  out.where = w.str();
  if (!a.contains("count")) fault(w.member("count"), "missing");
  out.count = gltfCount(a["count"], w.member("count"));
  if (!a.contains("componentType")) fault(w.member("componentType"), "missing");
  out.componentType = int(std::min<uint64_t>(gltfCount(a["componentType"], w.member("componentType")), 1u << 30));
  if (!a.contains("type")) fault(w.member("type"), "missing");
  out.components = componentsOf(requireString(a["type"], w.member("type")));
  if (out.components == 0) fault(w.member("type"), inQuotes(a["type"].get<std::string>()) + " is no accessor type");
  if (componentSize(out.componentType) == 0)
    fault(w.member("componentType"), std::to_string(out.componentType) + " is no component type");
  out.elementSize = out.components * componentSize(out.componentType);
  if (!a.contains("bufferView"))
    fault(w, "holds no data of its own (no \"bufferView\"); this reader does not read such accessors");
  const uint64_t viewIndex = gltfCount(a["bufferView"], w.member("bufferView"));
  const Stretch view = bufferView(f, viewIndex, w.member("bufferView"));
  const uint64_t offset = gltfCount(a, w, "byteOffset", 0);
  const uint64_t stride = view.stride ? view.stride : out.elementSize;
  if (stride < out.elementSize)
    fault(w, "its elements of " + std::to_string(out.elementSize) + " bytes overlap in a byteStride of " +
                 std::to_string(stride));
  const uint64_t need = out.count == 0 ? offset : offset + stride * (out.count - 1) + out.elementSize;
  if (need > view.length)
    fault(w, std::to_string(out.count) + " elements need " + std::to_string(need) + " bytes of bufferViews[" +
                 std::to_string(viewIndex) + "], which has " + std::to_string(view.length) +
                 " (a buffer shorter than the accessor says)");
  out.data = {view.buffer, view.start + offset, view.length, stride};
  if (a.contains("sparse")) {
    const Where sw = w.member("sparse");
    const Json& s = requireObject(a["sparse"], sw);
    if (!s.contains("count") || !s.contains("indices") || !s.contains("values"))
      fault(sw, "needs \"count\", \"indices\" and \"values\"");
    out.sparse.count = gltfCount(s["count"], sw.member("count"));
    const Json& idx = requireObject(s["indices"], sw.member("indices"));
    const Json& val = requireObject(s["values"], sw.member("values"));
    for (const auto& [part, json, place] : {std::tuple{"indices", &idx, &out.sparse.indices},
                                            std::tuple{"values", &val, &out.sparse.values}}) {
      const Where pw = sw.member(part);
      if (!json->contains("bufferView")) fault(pw.member("bufferView"), "missing");
      Stretch v = bufferView(f, gltfCount((*json)["bufferView"], pw.member("bufferView")), pw.member("bufferView"));
      const uint64_t at = gltfCount(*json, pw, "byteOffset", 0);
      *place = {v.buffer, v.start + at, v.length > at ? v.length - at : 0, 0};
    }
    if (!idx.contains("componentType")) fault(sw.member("indices").member("componentType"), "missing");
    out.sparse.indexType = int(std::min<uint64_t>(
        gltfCount(idx["componentType"], sw.member("indices").member("componentType")), 1u << 30));
    const size_t indexSize = componentSize(out.sparse.indexType);
    if (out.sparse.indexType != kUnsignedByte && out.sparse.indexType != kUnsignedShort &&
        out.sparse.indexType != kUnsignedInt)
      fault(sw.member("indices").member("componentType"), "sparse indices must be unsigned bytes, shorts or ints");
    if (out.sparse.count > out.count) fault(sw.member("count"), "more substitutions than the accessor has elements");
    if (out.sparse.indices.length < out.sparse.count * indexSize ||
        out.sparse.values.length < out.sparse.count * out.elementSize)
      fault(sw, "its indices or values need more bytes than their buffer views have");
  }
  return out;
}

// Elements [first, first + n) of an accessor, tightly packed, into out.
void readElements(const Accessor& a, uint64_t first, size_t n, unsigned char* out, std::vector<unsigned char>& scratch) {
  if (n == 0) return;
  const size_t size = a.elementSize;
  if (a.data.stride == size) {
    a.data.buffer->read(a.data.start + first * size, n * size, out);
    return;
  }
  scratch.resize((n - 1) * a.data.stride + size);
  a.data.buffer->read(a.data.start + first * a.data.stride, scratch.size(), scratch.data());
  for (size_t k = 0; k < n; ++k) std::memcpy(out + k * size, scratch.data() + k * a.data.stride, size);
}

uint32_t unsignedAt(const unsigned char* p, int type) {
  if (type == kUnsignedByte) return p[0];
  if (type == kUnsignedShort) return uint32_t(p[0]) | uint32_t(p[1]) << 8;
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// The accessor's sparse substitutions into out, which holds all its elements.
void applySparse(const Accessor& a, unsigned char* out) {
  const Sparse& s = a.sparse;
  if (s.count == 0) return;
  const size_t indexSize = componentSize(s.indexType);
  std::vector<unsigned char> idx(s.count * indexSize), val(s.count * a.elementSize);
  s.indices.buffer->read(s.indices.start, idx.size(), idx.data());
  s.values.buffer->read(s.values.start, val.size(), val.data());
  uint64_t previous = 0;
  for (uint64_t k = 0; k < s.count; ++k) {
    const uint64_t at = unsignedAt(idx.data() + k * indexSize, s.indexType);
    if (at >= a.count || (k > 0 && at <= previous))
      fault(a.where + ".sparse.indices", "substitution " + std::to_string(k) + " names element " + std::to_string(at) +
                                             " (indices must increase and stay below " + std::to_string(a.count) + ")");
    std::memcpy(out + at * a.elementSize, val.data() + k * a.elementSize, a.elementSize);
    previous = at;
  }
}

bool finiteBits(float v) {
  uint32_t b;
  std::memcpy(&b, &v, 4);
  return (b & 0x7f800000u) != 0x7f800000u;
}

// Points [at, at + n) as read (glTF's x, y, z) placed by m and mirrored into
// the host's axes. A node without a transform leaves the floats as they are
// but for z's sign.
void placePoints(KwVector* p, size_t n, const Matrix& m, const Accessor& a, uint64_t first) {
  bool finite = true;
  if (m == kIdentity) {
    for (size_t k = 0; k < n; ++k) {
      finite &= finiteBits(p[k].x) & finiteBits(p[k].y) & finiteBits(p[k].z);
      p[k].z = -p[k].z;
    }
  } else {
    for (size_t k = 0; k < n; ++k) {
      const double x = p[k].x, y = p[k].y, z = p[k].z;
      p[k].x = float(m[0] * x + m[4] * y + m[8] * z + m[12]);
      p[k].y = float(m[1] * x + m[5] * y + m[9] * z + m[13]);
      p[k].z = -float(m[2] * x + m[6] * y + m[10] * z + m[14]);
      finite &= finiteBits(p[k].x) & finiteBits(p[k].y) & finiteBits(p[k].z);
    }
  }
  if (finite) return;
  for (size_t k = 0; k < n; ++k)
    if (!finiteBits(p[k].x) || !finiteBits(p[k].y) || !finiteBits(p[k].z))
      fault(a.where, "point " + std::to_string(first + k) + " is not a finite 32-bit float" +
                         (m == kIdentity ? "" : " once its node's transform is applied"));
}

void appendPoints(const Accessor& a, const Matrix& m, std::vector<KwVector>& points, std::vector<unsigned char>& scratch) {
  const uint64_t batch = a.sparse.count ? std::max<uint64_t>(a.count, 1) : kBatch;
  for (uint64_t first = 0; first < a.count; first += batch) {
    const size_t n = size_t(std::min(batch, a.count - first));
    const size_t at = points.size();
    points.resize(at + n);  // within the reserved room: only this batch is touched
    auto* raw = reinterpret_cast<unsigned char*>(points.data() + at);
    readElements(a, first, n, raw, scratch);
    applySparse(a, raw);
    placePoints(points.data() + at, n, m, a, first);
  }
}

// Triangles [at, at + n / 3) of one primitive: its point indices checked
// against its point count, moved past the points before it, and turned
// into the host's winding ((a, b, c) -> (a, c, b), or kept under a mirror).
void placeTriangles(uint32_t* t, size_t n, uint64_t pointCount, uint32_t base, bool mirrored, const Accessor& a,
                    uint64_t first) {
  uint32_t highest = 0;
  for (size_t k = 0; k < n; ++k) highest = std::max(highest, t[k]);
  if (n > 0 && highest >= pointCount) {
    for (size_t k = 0; k < n; ++k)
      if (t[k] >= pointCount)
        fault(a.where, "index " + std::to_string(t[k]) + " (element " + std::to_string(first + k) +
                           ") is out of range: the primitive has " + std::to_string(pointCount) + " points");
  }
  for (size_t k = 0; k + 2 < n; k += 3) {
    const uint32_t p = t[k] + base, q = t[k + 1] + base, r = t[k + 2] + base;
    t[k] = p;
    t[k + 1] = mirrored ? q : r;
    t[k + 2] = mirrored ? r : q;
  }
}

void appendIndexed(const Accessor& a, uint64_t pointCount, uint32_t base, bool mirrored, std::vector<uint32_t>& tris,
                   std::vector<unsigned char>& scratch, std::vector<unsigned char>& narrow) {
  const uint64_t batch = a.sparse.count ? std::max<uint64_t>(a.count, 1) : kBatch;
  for (uint64_t first = 0; first < a.count; first += batch) {
    const size_t n = size_t(std::min(batch, a.count - first));
    const size_t at = tris.size();
    tris.resize(at + n);
    uint32_t* t = tris.data() + at;
    if (a.componentType == kUnsignedInt) {
      readElements(a, first, n, reinterpret_cast<unsigned char*>(t), scratch);
      applySparse(a, reinterpret_cast<unsigned char*>(t));
    } else {
      narrow.resize(n * a.elementSize);
      readElements(a, first, n, narrow.data(), scratch);
      applySparse(a, narrow.data());
      for (size_t k = 0; k < n; ++k) t[k] = unsignedAt(narrow.data() + k * a.elementSize, a.componentType);
    }
    placeTriangles(t, n, pointCount, base, mirrored, a, first);
  }
}

void appendUnindexed(uint64_t pointCount, uint32_t base, bool mirrored, std::vector<uint32_t>& tris) {
  for (uint64_t k = 0; k + 2 < pointCount; k += 3) {
    const uint32_t p = uint32_t(base + k);
    tris.push_back(p);
    tris.push_back(mirrored ? p + 1 : p + 2);
    tris.push_back(mirrored ? p + 2 : p + 1);
  }
}

// One primitive of mode 4 as it will be read.
struct Job {
  Accessor points;
  bool indexed = false;
  Accessor indices;
  const Instance* instance = nullptr;
  bool mirrored = false;
};

std::vector<Job> plan(const GltfFile& f, const std::vector<Instance>& instances) {
  std::vector<Job> jobs;
  for (const Instance& inst : instances) {
    const Json& mesh = gltfItem(f.json(), "meshes", inst.mesh, Where().member("nodes").element(inst.node).member("mesh"));
    const Where mw = Where().member("meshes").element(inst.mesh);
    if (!mesh.contains("primitives")) fault(mw.member("primitives"), "missing");
    const Json& prims = requireArray(mesh["primitives"], mw.member("primitives"));
    for (size_t p = 0; p < prims.size(); ++p) {
      const Where pw = mw.member("primitives").element(p);
      const Json& prim = requireObject(prims[p], pw);
      if (gltfCount(prim, pw, "mode", kTrianglesMode) != kTrianglesMode) continue;  // points, lines: no ground
      if (!prim.contains("attributes")) fault(pw.member("attributes"), "missing");
      const Json& attrs = requireObject(prim["attributes"], pw.member("attributes"));
      if (!attrs.contains("POSITION")) fault(pw.member("attributes"), "has no POSITION");
      Job job;
      const Where posWhere = pw.member("attributes").member("POSITION");
      job.points = accessor(f, gltfCount(attrs["POSITION"], posWhere), posWhere);
      if (job.points.componentType != kFloat || job.points.components != 3)
        fault(job.points.where, "POSITION must be VEC3 of 32-bit floats; this one holds " +
                                    std::string(componentName(job.points.componentType)) + " in " +
                                    std::to_string(job.points.components) + " components");
      if (prim.contains("indices")) {
        job.indexed = true;
        job.indices = accessor(f, gltfCount(prim["indices"], pw.member("indices")), pw.member("indices"));
        const int t = job.indices.componentType;
        if (job.indices.components != 1 || (t != kUnsignedByte && t != kUnsignedShort && t != kUnsignedInt))
          fault(job.indices.where, "triangle indices must be SCALAR unsigned bytes, shorts or ints");
      }
      const uint64_t corners = job.indexed ? job.indices.count : job.points.count;
      if (corners % 3 != 0)
        fault(job.indexed ? job.indices.where : job.points.where,
              "a primitive of triangles needs a multiple of 3 corners, not " + std::to_string(corners));
      job.instance = &inst;
      job.mirrored = determinant3(inst.global) < 0;
      jobs.push_back(std::move(job));
    }
  }
  return jobs;
}

TriangleMesh read(const std::string& path) {
  const GltfFile file(path);
  std::string sceneWhere;
  const std::vector<Instance> instances = sceneInstances(file.json(), &sceneWhere);
  const std::vector<Job> jobs = plan(file, instances);
  uint64_t points = 0, corners = 0;
  for (const Job& j : jobs) {
    points += j.points.count;
    corners += j.indexed ? j.indices.count : j.points.count;
  }
  if (corners == 0)
    fault(sceneWhere, "no triangles: no mesh primitive of mode 4 (TRIANGLES) with any corners is placed by this scene");
  if (points > kMostPoints || corners / 3 > kMostTriangles)
    fault(sceneWhere, "places " + std::to_string(points) + " points and " + std::to_string(corners / 3) +
                          " triangles, more than a ground may have (" + std::to_string(kMostTriangles) + " each)");
  TriangleMesh out;
  out.points.reserve(points);
  out.tris.reserve(corners);
  std::vector<unsigned char> scratch, narrow;
  for (const Job& j : jobs) {
    const auto base = uint32_t(out.points.size());
    appendPoints(j.points, j.instance->global, out.points, scratch);
    if (j.indexed)
      appendIndexed(j.indices, j.points.count, base, j.mirrored, out.tris, scratch, narrow);
    else
      appendUnindexed(j.points.count, base, j.mirrored, out.tris);
  }
  return out;
}

}  // namespace

Result<TriangleMesh> readGltfFile(const std::string& path) {
  try {
    return read(path);
  } catch (const Fault& f) {
    return fail(path + ": " + f.where + ": " + f.what);
  } catch (const std::bad_alloc&) {
    return fail(path + ": the geometry is too large for the memory there is");
  }
}

}  // namespace kwhost::scene
