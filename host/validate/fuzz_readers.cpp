// The file readers under fuzz: scene files (with a write-back round trip),
// glb grounds of a scene, Wavefront OBJ meshes, and the res/ folder's string tables, symbol headers
// and descriptions.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>
#ifndef _WIN32
#include <pthread.h>
#include <sys/mman.h>
#endif

#include "core/description.h"
#include "core/module_loader.h"
#include "core/res_lexer.h"
#include "core/resources.h"
#include "validate/fuzz_inputs.h"

#include "scene/gltf_mesh.h"
#include "scene/obj_mesh.h"
#include "scene/scene_file.h"
#include "scene/scene_run.h"

namespace kwhost::validate {

namespace {

namespace fs = std::filesystem;

// A folder of this process for files the readers need on disk, on a memory
// file system when there is one.
const fs::path& scratch() {
  static const fs::path dir = [] {
    std::error_code ec;
    fs::path base = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path(ec);
    fs::path d = base / ("kestrelwood-fuzz-" + std::to_string(::getpid()));
    fs::create_directories(d, ec);
    return d;
  }();
  // Removed again when the process ends normally.
  static const struct Cleanup {
    ~Cleanup() {
      std::error_code ec;
      fs::remove_all(dir, ec);
    }
  } cleanup;
  (void)cleanup;
  return dir;
}

bool writeWhole(const fs::path& p, std::string_view bytes) {
  std::error_code ec;
  fs::create_directories(p.parent_path(), ec);
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(f);
}

}  // namespace

namespace {

// Read, (run,) write, read, write: the two texts must be the same.
std::string roundTrip(std::string_view text, bool run) {
  const std::string base = scratch().string();
  auto first = scene::readSceneText(text, base);
  if (!first.ok()) return {};
  if (run) {
    scene::RunSettings settings;
    settings.frames = 1;
    auto ran = scene::runScene(first.value(), settings, "fuzz");
    if (!ran.ok()) return "a scene that reads does not run: " + ran.error();
  }
  auto j1 = scene::sceneToJson(*first.value().doc, &first.value().geometrySources, base);
  if (!j1.ok()) return "a scene that reads cannot be written: " + j1.error();
  const std::string t1 = scene::formatJson(j1.value());
  auto second = scene::readSceneText(t1, base);
  if (!second.ok()) return "a written scene does not read back: " + second.error() + "\n" + t1;
  auto j2 = scene::sceneToJson(*second.value().doc, &second.value().geometrySources, base);
  if (!j2.ok()) return "a reread scene cannot be written: " + j2.error();
  const std::string t2 = scene::formatJson(j2.value());
  if (t1 != t2) return "a saved scene reads back as another scene:\n" + t1 + "\n---\n" + t2;
  return {};
}

// Runs fn on a thread with a stack of 512 KB where the system lets us
// choose it: code that took a call per level of a grown scene (4,095 levels
// at most) would overflow it, and the sanitizer says where.
void onSmallStack(const std::function<void()>& fn) {
#ifdef _WIN32
  fn();
#else
  pthread_attr_t attr;
  pthread_t thread;
  bool started = pthread_attr_init(&attr) == 0 && pthread_attr_setstacksize(&attr, size_t(512) << 10) == 0 &&
                 pthread_create(
                     &thread, &attr,
                     [](void* f) -> void* {
                       (*static_cast<const std::function<void()>*>(f))();
                       return nullptr;
                     },
                     const_cast<std::function<void()>*>(&fn)) == 0;
  pthread_attr_destroy(&attr);
  if (started) pthread_join(thread, nullptr);
  else fn();
#endif
}

// A glb file (no JSON text and no recipe starts with its "glTF") as the
// ground of a small crowd: read, run for a frame, written back.
std::string glbGround(const uint8_t* data, size_t size) {
  const fs::path file = scratch() / "ground.glb";
  if (!writeWhole(file, std::string_view(reinterpret_cast<const char*>(data), size))) return {};
  auto mesh = scene::readGltfFile(file.string());
  if (mesh.ok()) {
    const auto& m = mesh.value();
    for (uint32_t i : m.tris)
      if (i >= m.points.size()) return "the glTF reader gave a triangle of a point that does not exist";
    for (const KwVector& p : m.points)
      if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
        return "the glTF reader gave a point that is not finite";
  }
  return roundTrip(R"({"format": "kestrelwood-scene/1", "maxFrame": 1, "objects": [
    {"name": "Ground", "type": "polygon", "gltf": "ground.glb"},
    {"name": "Flock", "children": [{"name": "A", "position": [0, 50, 0]}, {"name": "B", "position": [30, 50, 0]}]},
    {"name": "Target", "position": [0, 0, 500]},
    {"name": "Crowd", "tags": [{"type": "Kestrelwood", "recordStart": true,
      "params": {"AGENTS_GROUP": "Flock", "TARGET": "Target", "TERRAIN": "Ground"}}]}]})",
                   true);
}

bool isGlb(const uint8_t* data, size_t size) { return size >= 4 && std::memcmp(data, "glTF", 4) == 0; }

}  // namespace

std::string fuzzSceneText(Module& module, const uint8_t* data, size_t size) {
  const AccountSnapshot before = module.account().snapshot();
  std::string problem;
  std::string grown;
  if (isGlb(data, size)) {
    problem = glbGround(data, size);
  } else if (expandSceneRecipe(data, size, &grown)) {
    // Grown scenes also run: matrices through every level, presses, drawing, the record.
    onSmallStack([&] { problem = roundTrip(grown, true); });
  } else {
    problem = roundTrip(std::string_view(reinterpret_cast<const char*>(data), size), false);
  }
  if (!problem.empty()) return problem;
  const AccountSnapshot after = module.account().snapshot();
  if (after.liveBlocks != before.liveBlocks)
    problem = "module blocks live: " + std::to_string(before.liveBlocks) + " before, " + std::to_string(after.liveBlocks) +
              " after the scene was gone";
  return problem;
}

std::string fuzzObjText(const uint8_t* data, size_t size) {
#ifdef _WIN32
  // The reader takes a path: a file in the scratch folder.
  const fs::path file = scratch() / "mesh.obj";
  if (!writeWhole(file, std::string_view(reinterpret_cast<const char*>(data), size))) return {};
  auto mesh = scene::readObjFile(file.string());
#else
  // The reader takes a path: a memory file named through /proc.
  const int fd = ::memfd_create("kw-obj", MFD_CLOEXEC);
  if (fd < 0) return {};
  size_t done = 0;
  while (done < size) {
    const ssize_t w = ::write(fd, data + done, size - done);
    if (w <= 0) break;
    done += size_t(w);
  }
  auto mesh = scene::readObjFile("/proc/self/fd/" + std::to_string(fd));
  ::close(fd);
#endif
  if (!mesh.ok()) return {};
  Document doc;
  auto obj = doc.createObject("Mesh", kTypePolygon);
  if (!obj.ok()) return "cannot make a polygon object: " + obj.error();
  const size_t points = mesh.value().points.size();
  auto set = obj.value()->setMesh(std::move(mesh.value().points), mesh.value().polygons);
  if (!set.ok()) return "a mesh the OBJ reader accepted is refused by the polygon object: " + set.error();
  for (uint32_t i : obj.value()->triangles())
    if (i >= points) return "a triangle refers to a point that does not exist";
  return {};
}

std::string fuzzResourceText(const uint8_t* data, size_t size) {
  const std::string_view all(reinterpret_cast<const char*>(data), size);
  const size_t a = all.find('\0');
  const size_t b = a == std::string_view::npos ? a : all.find('\0', a + 1);
  const std::string_view header = all.substr(0, a);
  const std::string_view strings = a == std::string_view::npos ? std::string_view() : all.substr(a + 1, b - a - 1);
  const std::string_view desc = b == std::string_view::npos ? std::string_view() : all.substr(b + 1);

  (void)parseSymbolHeader(header, "c4d_symbols.h");
  (void)parseStringTable(strings, "c4d_strings.str");
  (void)lexResource(desc, "Tfuzz.res");

  const fs::path res = scratch() / "res";
  writeWhole(res / "c4d_symbols.h", header);
  writeWhole(res / "strings_us" / "c4d_strings.str", strings);
  writeWhole(res / "description" / "Tfuzz.h", header);
  writeWhole(res / "description" / "Tfuzz.res", desc);
  writeWhole(res / "strings_us" / "description" / "Tfuzz.str", strings);
  (void)loadResource(scratch().string());
  auto d = loadDescriptionFiles(res.string(), "Tfuzz");
  if (d.ok()) {
    for (const auto& e : d.value().entries)
      if (d.value().find(e.id) == nullptr) return "a description entry cannot be found by its own id";
  }
  return {};
}

}  // namespace kwhost::validate
