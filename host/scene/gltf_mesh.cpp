#include "scene/gltf_mesh.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <new>
#include <tuple>

#include "scene/gltf_file.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

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

uint32_t unsignedAt(const unsigned char* p, int type) {
  if (type == kUnsignedByte) return p[0];
  if (type == kUnsignedShort) return uint32_t(p[0]) | uint32_t(p[1]) << 8;
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

// Where elements of an accessor can be read: the first one's bytes and the
// stride to the next.
struct Elements {
  const unsigned char* data;
  uint64_t stride;
};

// An accessor's elements read in batches of at most `batch`: the buffer's
// bytes where it holds them (a data: URI), else read into scratch. A sparse
// accessor is read whole, its substitutions made in a copy.
class ElementReader {
 public:
  explicit ElementReader(const Accessor& a) : a_(a) {}
  uint64_t batch() const { return a_.sparse.count ? std::max<uint64_t>(a_.count, 1) : kBatch; }

  Elements read(uint64_t first, size_t n) {
    if (a_.sparse.count) return whole();
    const uint64_t span = (n - 1) * a_.data.stride + a_.elementSize;
    return {a_.data.buffer->bytes(a_.data.start + first * a_.data.stride, span, scratch_), a_.data.stride};
  }

 private:
  Elements whole() {
    const size_t size = a_.elementSize;
    tight_.resize(a_.count * size);
    if (a_.count > 0) {
      const unsigned char* in =
          a_.data.buffer->bytes(a_.data.start, (a_.count - 1) * a_.data.stride + size, scratch_);
      for (uint64_t k = 0; k < a_.count; ++k) std::memcpy(tight_.data() + k * size, in + k * a_.data.stride, size);
    }
    applySparse();
    return {tight_.data(), size};
  }

  // The substitutions into tight_, which holds every element.
  void applySparse() {
    const Sparse& s = a_.sparse;
    const size_t indexSize = componentSize(s.indexType);
    std::vector<unsigned char> idx(s.count * indexSize), val(s.count * a_.elementSize);
    s.indices.buffer->read(s.indices.start, idx.size(), idx.data());
    s.values.buffer->read(s.values.start, val.size(), val.data());
    uint64_t previous = 0;
    for (uint64_t k = 0; k < s.count; ++k) {
      const uint64_t at = unsignedAt(idx.data() + k * indexSize, s.indexType);
      if (at >= a_.count || (k > 0 && at <= previous))
        fault(a_.where + ".sparse.indices", "substitution " + std::to_string(k) + " names element " +
                                                std::to_string(at) + " (indices must increase and stay below " +
                                                std::to_string(a_.count) + ")");
      std::memcpy(tight_.data() + at * a_.elementSize, val.data() + k * a_.elementSize, a_.elementSize);
      previous = at;
    }
  }

  const Accessor& a_;
  std::vector<unsigned char> scratch_, tight_;
};

// 1 when v is infinite or NaN (its exponent all ones), else 0: summed
// without a branch over a whole batch.
uint32_t nonFinite(float v) {
  uint32_t b;
  std::memcpy(&b, &v, 4);
  return uint32_t((b & 0x7f800000u) == 0x7f800000u);
}

bool finiteBits(float v) { return nonFinite(v) == 0; }

// n points as the file has them (glTF's x, y, z as 32-bit floats), placed
// by m and mirrored into the host's axes, into out. A node without a
// transform leaves the floats as they are but for z's sign.
void placePoints(Elements in, size_t n, const Matrix& m, KwVector* out, const Accessor& a, uint64_t first) {
  bool finite = true;
  if (m == kIdentity && in.stride == sizeof(KwVector)) {
    // Tightly packed, as most files are: copied whole (the one pass over
    // the file's bytes), then checked and mirrored while in the cache.
    std::memcpy(static_cast<void*>(out), in.data, n * sizeof(KwVector));
    uint32_t exponents = 0;  // any exponent all ones: infinity or NaN
    const auto* words = reinterpret_cast<const unsigned char*>(out);
    for (size_t i = 0; i < 3 * n; ++i) {
      uint32_t w;
      std::memcpy(&w, words + 4 * i, 4);
      exponents |= uint32_t((w & 0x7f800000u) == 0x7f800000u);
    }
    finite = exponents == 0;
    for (size_t k = 0; k < n; ++k) out[k].z = -out[k].z;
  } else if (m == kIdentity) {
    for (size_t k = 0; k < n; ++k) {
      float p[3];
      std::memcpy(p, in.data + k * in.stride, sizeof p);
      finite &= (nonFinite(p[0]) | nonFinite(p[1]) | nonFinite(p[2])) == 0;
      out[k] = {p[0], p[1], -p[2]};
    }
  } else {
    for (size_t k = 0; k < n; ++k) {
      float p[3];
      std::memcpy(p, in.data + k * in.stride, sizeof p);
      const double x = p[0], y = p[1], z = p[2];
      out[k] = {float(m[0] * x + m[4] * y + m[8] * z + m[12]), float(m[1] * x + m[5] * y + m[9] * z + m[13]),
                -float(m[2] * x + m[6] * y + m[10] * z + m[14])};
      finite &= (nonFinite(out[k].x) | nonFinite(out[k].y) | nonFinite(out[k].z)) == 0;
    }
  }
  if (finite) return;
  for (size_t k = 0; k < n; ++k)
    if (!finiteBits(out[k].x) || !finiteBits(out[k].y) || !finiteBits(out[k].z))
      fault(a.where, "point " + std::to_string(first + k) + " is not a finite 32-bit float" +
                         (m == kIdentity ? "" : " once its node's transform is applied"));
}

void appendPoints(const Accessor& a, const Matrix& m, std::vector<KwVector>& points) {
  ElementReader reader(a);
  for (uint64_t first = 0; first < a.count; first += reader.batch()) {
    const size_t n = size_t(std::min(reader.batch(), a.count - first));
    const size_t at = points.size();
    points.resize(at + n);  // within the reserved room: only this batch is touched
    placePoints(reader.read(first, n), n, m, points.data() + at, a, first);
  }
}

// n corners (whole triangles) as the file has them, checked against the
// primitive's point count, moved past the points before it, and turned
// into the host's winding ((a, b, c) -> (a, c, b), or kept under a mirror).
template <class Index>
void placeTriangles(Elements in, size_t n, uint64_t pointCount, uint32_t base, bool mirrored, uint32_t* out,
                    const Accessor& a, uint64_t first) {
  uint32_t highest = 0;
  const size_t second = mirrored ? 1 : 2, third = mirrored ? 2 : 1;
  if (sizeof(Index) == 4 && in.stride == 4) {
    // Tightly packed 32-bit indices: copied whole, then checked, moved and
    // turned while in the cache.
    std::memcpy(out, in.data, n * 4);
    for (size_t k = 0; k < n; ++k) highest = std::max(highest, out[k]);
    if (base != 0)
      for (size_t k = 0; k < n; ++k) out[k] += base;
    if (!mirrored)
      for (size_t k = 0; k + 2 < n; k += 3) std::swap(out[k + 1], out[k + 2]);
  } else {
    for (size_t k = 0; k + 2 < n; k += 3) {
      Index v[3];
      for (size_t c = 0; c < 3; ++c) std::memcpy(&v[c], in.data + (k + c) * in.stride, sizeof(Index));
      highest = std::max<uint32_t>({highest, v[0], v[1], v[2]});
      out[k] = base + v[0];
      out[k + 1] = base + v[second];
      out[k + 2] = base + v[third];
    }
  }
  if (highest < pointCount) return;
  for (size_t k = 0; k < n; ++k) {
    const uint32_t v = unsignedAt(in.data + k * in.stride, a.componentType);
    if (v >= pointCount)
      fault(a.where, "index " + std::to_string(v) + " (element " + std::to_string(first + k) +
                         ") is out of range: the primitive has " + std::to_string(pointCount) + " points");
  }
}

void appendIndexed(const Accessor& a, uint64_t pointCount, uint32_t base, bool mirrored, std::vector<uint32_t>& tris) {
  ElementReader reader(a);
  for (uint64_t first = 0; first < a.count; first += reader.batch()) {
    const size_t n = size_t(std::min(reader.batch(), a.count - first));
    const size_t at = tris.size();
    tris.resize(at + n);
    const Elements in = reader.read(first, n);
    uint32_t* out = tris.data() + at;
    if (a.componentType == kUnsignedInt) placeTriangles<uint32_t>(in, n, pointCount, base, mirrored, out, a, first);
    else if (a.componentType == kUnsignedShort) placeTriangles<uint16_t>(in, n, pointCount, base, mirrored, out, a, first);
    else placeTriangles<uint8_t>(in, n, pointCount, base, mirrored, out, a, first);
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

// Asks for the memory of a large, not yet touched buffer in huge pages
// where the system has them (Linux: transparent huge pages on request).
// Filling 36 MB of fresh memory otherwise takes 9,000 page faults, which
// cost more than reading the file (several times more in a virtual machine).
void adviseHugePages(void* data, size_t bytes) {
#if defined(__linux__)
  constexpr uintptr_t kHuge = uintptr_t(2) << 20;
  const uintptr_t begin = (reinterpret_cast<uintptr_t>(data) + kHuge - 1) & ~(kHuge - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(kHuge - 1);
  if (end > begin) (void)madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)data;
  (void)bytes;
#endif
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
  adviseHugePages(out.points.data(), points * sizeof(KwVector));
  adviseHugePages(out.tris.data(), corners * sizeof(uint32_t));
  for (const Job& j : jobs) {
    const auto base = uint32_t(out.points.size());
    appendPoints(j.points, j.instance->global, out.points);
    if (j.indexed)
      appendIndexed(j.indices, j.points.count, base, j.mirrored, out.tris);
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
