#include "export/gltf_writer.h"

#include <cmath>
#include <cstring>
#include <numbers>
#include <sstream>

#define TINYGLTF_IMPLEMENTATION
#define TINYGLTF_NO_STB_IMAGE
#define TINYGLTF_NO_STB_IMAGE_WRITE
#define TINYGLTF_NO_EXTERNAL_IMAGE
#define TINYGLTF_NOEXCEPTION
#include <tiny_gltf.h>

#include "core/atomic_file.h"
#include "export/run_record_check.h"
#include "export/view_geometry.h"

namespace kwhost {
namespace {

constexpr int kArrayBuffer = TINYGLTF_TARGET_ARRAY_BUFFER;
constexpr int kElementBuffer = TINYGLTF_TARGET_ELEMENT_ARRAY_BUFFER;
constexpr int kSegmentsPerCircle = 64;

// Builds the model's one buffer, its views and accessors.
class Builder {
 public:
  explicit Builder(tinygltf::Model* m) : m_(m) { m_->buffers.emplace_back(); }

  int vec3(const std::vector<Vec3>& v, int target, bool bounds) {
    const int view = addView(v.data(), v.size() * sizeof(Vec3), target);
    tinygltf::Accessor a;
    a.bufferView = view;
    a.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    a.type = TINYGLTF_TYPE_VEC3;
    a.count = v.size();
    if (bounds) bound(v, &a);
    m_->accessors.push_back(a);
    return int(m_->accessors.size()) - 1;
  }

  int quats(const std::vector<std::array<float, 4>>& v) {
    const int view = addView(v.data(), v.size() * sizeof(v[0]), -1);
    tinygltf::Accessor a;
    a.bufferView = view;
    a.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    a.type = TINYGLTF_TYPE_VEC4;
    a.count = v.size();
    m_->accessors.push_back(a);
    return int(m_->accessors.size()) - 1;
  }

  int scalars(const std::vector<float>& v) {
    const int view = addView(v.data(), v.size() * sizeof(float), -1);
    tinygltf::Accessor a;
    a.bufferView = view;
    a.componentType = TINYGLTF_COMPONENT_TYPE_FLOAT;
    a.type = TINYGLTF_TYPE_SCALAR;
    a.count = v.size();
    a.minValues = {v.front()};
    a.maxValues = {v.back()};
    m_->accessors.push_back(a);
    return int(m_->accessors.size()) - 1;
  }

  int indices(const std::vector<uint32_t>& v) {
    const int view = addView(v.data(), v.size() * sizeof(uint32_t), kElementBuffer);
    tinygltf::Accessor a;
    a.bufferView = view;
    a.componentType = TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT;
    a.type = TINYGLTF_TYPE_SCALAR;
    a.count = v.size();
    m_->accessors.push_back(a);
    return int(m_->accessors.size()) - 1;
  }

  int material(const std::string& name, std::array<double, 4> rgba, bool doubleSided, bool unlit) {
    tinygltf::Material mat;
    mat.name = name;
    mat.pbrMetallicRoughness.baseColorFactor = {rgba[0], rgba[1], rgba[2], rgba[3]};
    mat.pbrMetallicRoughness.metallicFactor = 0.0;
    mat.pbrMetallicRoughness.roughnessFactor = 0.9;
    mat.doubleSided = doubleSided;
    if (unlit) {
      mat.extensions["KHR_materials_unlit"] = tinygltf::Value(tinygltf::Value::Object());
      usesUnlit_ = true;
    }
    m_->materials.push_back(mat);
    return int(m_->materials.size()) - 1;
  }

  bool usesUnlit() const { return usesUnlit_; }

 private:
  int addView(const void* data, size_t bytes, int target) {
    std::vector<unsigned char>& buf = m_->buffers[0].data;
    while (buf.size() % 4 != 0) buf.push_back(0);
    tinygltf::BufferView bv;
    bv.buffer = 0;
    bv.byteOffset = buf.size();
    bv.byteLength = bytes;
    if (target >= 0) bv.target = target;
    const auto* p = static_cast<const unsigned char*>(data);
    buf.insert(buf.end(), p, p + bytes);
    m_->bufferViews.push_back(bv);
    return int(m_->bufferViews.size()) - 1;
  }

  static void bound(const std::vector<Vec3>& v, tinygltf::Accessor* a) {
    if (v.empty()) return;
    a->minValues = {v[0][0], v[0][1], v[0][2]};
    a->maxValues = a->minValues;
    for (const Vec3& p : v) {
      for (int k = 0; k < 3; ++k) {
        a->minValues[k] = std::min(a->minValues[k], double(p[k]));
        a->maxValues[k] = std::max(a->maxValues[k], double(p[k]));
      }
    }
  }

  tinygltf::Model* m_;
  bool usesUnlit_ = false;
};

int addMeshNode(tinygltf::Model* m, const std::string& name, int mesh) {
  tinygltf::Node n;
  n.name = name;
  n.mesh = mesh;
  m->nodes.push_back(n);
  return int(m->nodes.size()) - 1;
}

// A small diamond for the other recorded objects: 8 faces, wound
// counter-clockwise seen from outside (glTF's front face), flat normals.
void diamond(float r, std::vector<Vec3>* pos, std::vector<Vec3>* nrm) {
  for (int sx : {-1, 1}) {
    for (int sy : {-1, 1}) {
      for (int sz : {-1, 1}) {
        Vec3 a{sx * r, 0, 0}, b{0, sy * r, 0}, c{0, 0, sz * r};
        // (b - a) x (c - a) points along (sy sz, sx sz, sx sy) r^2; outward
        // is (sx, sy, sz), so the order is right when sx sy sz > 0.
        if (sx * sy * sz < 0) std::swap(b, c);
        const float s = 1.0f / std::sqrt(3.0f);
        const Vec3 n{sx * s, sy * s, sz * s};
        pos->insert(pos->end(), {a, b, c});
        nrm->insert(nrm->end(), {n, n, n});
      }
    }
  }
}

void addAnimatedTrack(tinygltf::Model* m, tinygltf::Animation* anim, int node, int times,
                      const std::vector<Vec3>& translations, const std::vector<std::array<float, 4>>& rotations,
                      Builder* b) {
  const int t = b->vec3(translations, -1, false);
  const int r = b->quats(rotations);
  m->nodes[node].translation = {translations[0][0], translations[0][1], translations[0][2]};
  m->nodes[node].rotation = {rotations[0][0], rotations[0][1], rotations[0][2], rotations[0][3]};
  for (auto [path, out] : {std::pair<const char*, int>{"translation", t}, {"rotation", r}}) {
    tinygltf::AnimationSampler s;
    s.input = times;
    s.output = out;
    s.interpolation = "LINEAR";
    anim->samplers.push_back(s);
    tinygltf::AnimationChannel c;
    c.sampler = int(anim->samplers.size()) - 1;
    c.target_node = node;
    c.target_path = path;
    anim->channels.push_back(c);
  }
}

// Translations and rotations of a sequence of matrices in the viewers' frame,
// quaternions kept on one hemisphere from frame to frame.
void track(const std::vector<const Mat12*>& ms, std::vector<Vec3>* t, std::vector<std::array<float, 4>>* r) {
  view::Quat prev{0, 0, 0, 1};
  for (const Mat12* mp : ms) {
    t->push_back(view::offsetToView(*mp));
    const view::Quat q = view::sameHemisphere(view::rotationToView(*mp), prev);
    prev = q;
    r->push_back({float(q[0]), float(q[1]), float(q[2]), float(q[3])});
  }
}

Result<void> build(const RunRecord& run, tinygltf::Model* m) {
  if (auto ok = checkRunRecord(run); !ok) return ok;
  m->asset.version = "2.0";
  m->asset.generator = "Kestrelwood substitute host";
  Builder b(m);
  tinygltf::Scene scene;
  scene.name = run.sceneName.empty() ? "Kestrelwood run" : run.sceneName;

  // Terrains, baked into world coordinates.
  const int terrainMat = b.material("Terrain", {0.55, 0.50, 0.42, 1.0}, true, false);
  for (const RecordedMesh& t : run.terrains) {
    if (t.points.empty() || t.tris.empty()) continue;
    auto viewed = view::terrainToView(t);
    if (!viewed) return fail(viewed.error());
    const view::ViewMesh& vm = *viewed;
    tinygltf::Primitive p;
    p.attributes["POSITION"] = b.vec3(vm.positions, kArrayBuffer, true);
    p.attributes["NORMAL"] = b.vec3(vm.normals, kArrayBuffer, false);
    p.indices = b.indices(vm.indices);
    p.material = terrainMat;
    p.mode = TINYGLTF_MODE_TRIANGLES;
    tinygltf::Mesh mesh;
    mesh.name = t.name;
    mesh.primitives.push_back(p);
    m->meshes.push_back(mesh);
    scene.nodes.push_back(addMeshNode(m, t.name, int(m->meshes.size()) - 1));
  }

  // Obstacles: the tag treats each as a sphere around its position; we draw
  // its horizontal great circle, the outline the crowd steers around.
  const int obstacleMat = b.material("Obstacle", {1.0, 0.55, 0.1, 1.0}, false, true);
  for (const RecordedCircle& c : run.obstacles) {
    std::vector<Vec3> ring;
    const Vec3 o{c.global[0], c.global[1], c.global[2]};
    for (int i = 0; i < kSegmentsPerCircle; ++i) {
      const double a = 2.0 * std::numbers::pi * i / kSegmentsPerCircle;
      ring.push_back(view::toView({float(o[0] + c.radius * std::cos(a)), o[1], float(o[2] + c.radius * std::sin(a))}));
    }
    tinygltf::Primitive p;
    p.attributes["POSITION"] = b.vec3(ring, kArrayBuffer, true);
    p.material = obstacleMat;
    p.mode = TINYGLTF_MODE_LINE_LOOP;
    tinygltf::Mesh mesh;
    mesh.name = c.name;
    mesh.primitives.push_back(p);
    m->meshes.push_back(mesh);
    scene.nodes.push_back(addMeshNode(m, c.name, int(m->meshes.size()) - 1));
  }

  const float size = view::markerLength(run);
  const view::Marker mk = view::agentMarker(size);
  int agentMesh = -1;
  if (!run.agents.empty()) {
    tinygltf::Primitive p;
    p.attributes["POSITION"] = b.vec3(mk.positions, kArrayBuffer, true);
    p.attributes["NORMAL"] = b.vec3(mk.normals, kArrayBuffer, false);
    p.material = b.material("Agent", {0.95, 0.85, 0.2, 1.0}, false, false);
    p.mode = TINYGLTF_MODE_TRIANGLES;
    tinygltf::Mesh mesh;
    mesh.name = "Agent";
    mesh.primitives.push_back(p);
    m->meshes.push_back(mesh);
    agentMesh = int(m->meshes.size()) - 1;
  }
  int trackMesh = -1;
  if (!run.tracks.empty()) {
    std::vector<Vec3> dp, dn;
    diamond(size * 0.5f, &dp, &dn);
    tinygltf::Primitive p;
    p.attributes["POSITION"] = b.vec3(dp, kArrayBuffer, true);
    p.attributes["NORMAL"] = b.vec3(dn, kArrayBuffer, false);
    p.material = b.material("Tracked object", {0.3, 0.7, 1.0, 1.0}, false, false);
    p.mode = TINYGLTF_MODE_TRIANGLES;
    tinygltf::Mesh mesh;
    mesh.name = "Tracked object";
    mesh.primitives.push_back(p);
    m->meshes.push_back(mesh);
    trackMesh = int(m->meshes.size()) - 1;
  }

  const bool animated = !run.frames.empty();
  tinygltf::Animation anim;
  anim.name = "Run";
  int times = -1;
  if (animated) {
    const int first = run.frames.front().frame;
    const int shift = first < 0 ? -first : 0;
    std::vector<float> t;
    for (const FrameRecord& f : run.frames) t.push_back(float(double(f.frame + shift) / run.fps));
    times = b.scalars(t);
  }
  for (size_t i = 0; i < run.agents.size(); ++i) {
    const int node = addMeshNode(m, run.agents[i].name, agentMesh);
    tinygltf::Value::Object extras;
    extras["index"] = tinygltf::Value(run.agents[i].index);
    extras["tag"] = tinygltf::Value(run.agents[i].tag);
    extras["speed"] = tinygltf::Value(double(run.agents[i].speed));
    m->nodes[node].extras = tinygltf::Value(extras);
    scene.nodes.push_back(node);
    if (!animated) continue;
    std::vector<const Mat12*> ms;
    for (const FrameRecord& f : run.frames) ms.push_back(&f.agents[i].global);
    std::vector<Vec3> tr;
    std::vector<std::array<float, 4>> rot;
    track(ms, &tr, &rot);
    addAnimatedTrack(m, &anim, node, times, tr, rot, &b);
  }
  for (const RecordedTrack& tk : run.tracks) {
    const int node = addMeshNode(m, tk.name, trackMesh);
    scene.nodes.push_back(node);
    if (!animated) continue;
    std::vector<const Mat12*> ms;
    for (const Mat12& g : tk.global) ms.push_back(&g);
    std::vector<Vec3> tr;
    std::vector<std::array<float, 4>> rot;
    track(ms, &tr, &rot);
    addAnimatedTrack(m, &anim, node, times, tr, rot, &b);
  }
  if (!anim.channels.empty()) m->animations.push_back(anim);
  if (b.usesUnlit()) m->extensionsUsed.push_back("KHR_materials_unlit");

  m->buffers[0].data.resize((m->buffers[0].data.size() + 3) / 4 * 4, 0);
  m->scenes.push_back(scene);
  m->defaultScene = 0;
  return {};
}

}  // namespace

Result<void> writeGlb(const RunRecord& run, const std::string& path) {
  tinygltf::Model model;
  if (auto built = build(run, &model); !built) return fail(path + ": " + built.error());
  std::ostringstream out;
  tinygltf::TinyGLTF gltf;
  if (!gltf.WriteGltfSceneToStream(&model, out, false, true) || !out) return fail(path + ": glTF serialisation failed");
  return writeFileAtomically(path, out.str());
}

}  // namespace kwhost
