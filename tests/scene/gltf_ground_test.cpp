// Grounds in glTF files: the same run as the same ground written inline, bit
// for bit; what glTF files from other tools hold (nodes that place and
// mirror, several primitives, small indices, interleaved points, triangles
// without indices, a .gltf with its buffer beside it or inline); --save
// keeping the reference; bad files given one line and exit 3.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "glb_files.h"
#include "module_test.h"
#include "program_run.h"
#include "scene/gltf_mesh.h"
#include "scratch_folder.h"
#include "text_files.h"

namespace {

using namespace kwtest;
using kwhost::scene::Json;
namespace fs = std::filesystem;

// A heightfield of n x n quads over 4000 x 4000 units, in the host's axes,
// wound to face up, with heights that use every bit of a float.
struct Ground {
  std::vector<KwVector> points;
  std::vector<uint32_t> tris;
};

Ground hills(int n) {
  Ground g;
  const float step = 4000.0f / float(n);
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      const float x = -2000.0f + float(i) * step, z = -2000.0f + float(j) * step;
      g.points.push_back({x, 80.0f * std::sin(x * 0.0013f) * std::cos(z * 0.0021f) + 0.37f * float(i % 3), z});
    }
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const uint32_t a = uint32_t(j * (n + 1) + i), b = a + uint32_t(n + 1);
      g.tris.insert(g.tris.end(), {a, b, b + 1, a, b + 1, a + 1});
    }
  return g;
}

Json inlineMesh(const Ground& g) {
  Json points = Json::array(), polys = Json::array();
  for (const KwVector& p : g.points) points.push_back({p.x, p.y, p.z});  // floats as doubles: exact
  for (size_t k = 0; k < g.tris.size(); k += 3) polys.push_back({g.tris[k], g.tris[k + 1], g.tris[k + 2]});
  return Json{{"points", points}, {"polygons", polys}};
}

// 12 agents crossing the hills towards a target, the ground as given.
std::string hillsScene(const Json& ground) {
  Json agents = Json::array();
  for (int i = 0; i < 12; ++i)
    agents.push_back({{"name", cat({"a", std::to_string(i)})}, {"position", {-600 + 100 * (i % 4), 200, -1500 - 120 * (i / 4)}}});
  Json groundObject = {{"name", "Ground"}, {"type", "polygon"}};
  groundObject.update(ground);
  Json scene = {{"format", "kestrelwood-scene/1"}, {"maxFrame", 120},
                {"objects", Json::array({groundObject, {{"name", "Flock"}, {"children", agents}},
                                         {{"name", "Goal"}, {"position", {300, 0, 1800}}},
                                         {{"name", "Crowd"},
                                          {"tags", Json::array({{{"type", "Kestrelwood"}, {"recordStart", true},
                                                                 {"params", {{"AGENTS_GROUP", "Flock"},
                                                                             {"TARGET", "Goal"},
                                                                             {"TERRAIN", "Ground"},
                                                                             {"SPEED", 14.5},
                                                                             {"SPEED_VARIATION", 0.4}}}}})}}})}};
  return scene.dump(1);
}

// kestrelwood run as a user runs it from the folder of the scene.
Ran runIn(const std::string& dir, const std::string& args) { return kestrelwood(args, dir, cat({"cd ", quote(dir), " && "})); }

bool sameBits(const std::vector<KwVector>& a, const std::vector<KwVector>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(KwVector)) == 0;
}

TEST(GltfGround, RunsBitForBitAsTheSameGroundInline) {
  const std::string dir = tempFolder("gltf-same-run");
  const Ground g = hills(40);
  writeText(dir + "/hills.glb", groundGlb(g.points, g.tris));
  writeText(dir + "/inline.kwscene.json", hillsScene({{"mesh", inlineMesh(g)}}));
  writeText(dir + "/glb.kwscene.json", hillsScene({{"gltf", "hills.glb"}}));

  auto read = kwhost::scene::readGltfFile(dir + "/hills.glb");
  ASSERT_TRUE(read) << read.error();
  EXPECT_TRUE(sameBits(read->points, g.points));
  EXPECT_EQ(read->tris, g.tris);

  Ran a = runIn(dir, "run inline.kwscene.json --csv inline.csv");
  Ran b = runIn(dir, "run glb.kwscene.json --csv glb.csv");
  ASSERT_EQ(a.status, 0) << a.err;
  ASSERT_EQ(b.status, 0) << b.err;
  const std::string csv = readText(dir + "/glb.csv");
  EXPECT_EQ(countLines(csv), 12u * 121u + 1u);
  EXPECT_EQ(csv, readText(dir + "/inline.csv"));

  // --save refers to the unchanged file again, relative to where it saves.
  fs::create_directories(dir + "/saved");
  Ran s = runIn(dir, "run glb.kwscene.json --frames 3 --save saved/again.kwscene.json");
  ASSERT_EQ(s.status, 0) << s.err;
  const std::string saved = readText(dir + "/saved/again.kwscene.json");
  EXPECT_NE(saved.find("\"gltf\": \"../hills.glb\""), std::string::npos) << saved;
  EXPECT_EQ(saved.find("\"mesh\""), std::string::npos);
}

// The glb of a ground given in glTF's own axes, with the document changed
// by edit before it is written.
template <class Edit>
std::string editedGlb(const std::vector<float>& gltfPoints, const std::vector<uint32_t>& indices, Edit edit,
                      std::string bin = "") {
  Json doc = groundDocument(gltfPoints.size() / 3, indices.size(), {-1, -1, -1}, {1, 1, 1});
  if (bin.empty()) bin = bytesOf(gltfPoints) + bytesOf(indices);
  edit(doc, bin);
  return glbContainer(doc, bin);
}

kwhost::scene::TriangleMesh readOk(const std::string& path) {
  auto r = kwhost::scene::readGltfFile(path);
  EXPECT_TRUE(r) << r.error();
  return r ? std::move(r.value()) : kwhost::scene::TriangleMesh{};
}

const std::vector<float> kSquare = {0, 0, 0, 1, 0, 0, 1, 0, -1, 0, 0, -1};  // glTF axes, facing +Y
const std::vector<uint32_t> kSquareTris = {0, 1, 2, 0, 2, 3};                // counter-clockwise seen from +Y

TEST(GltfGround, ReadsWhatOtherToolsWrite) {
  const std::string dir = tempFolder("gltf-tools");
  const auto none = [](Json&, std::string&) {};

  // The plain case: z mirrored, each triangle turned round.
  writeText(dir + "/plain.glb", editedGlb(kSquare, kSquareTris, none));
  auto plain = readOk(dir + "/plain.glb");
  ASSERT_EQ(plain.points.size(), 4u);
  EXPECT_EQ(plain.points[2].z, 1.0f);
  EXPECT_EQ(plain.tris, (std::vector<uint32_t>{0, 2, 1, 0, 3, 2}));

  // A node placing the mesh (translation, scale) under a parent that
  // mirrors X: points moved, and the mirror keeps the faces' side.
  writeText(dir + "/nodes.glb", editedGlb(kSquare, kSquareTris, [](Json& d, std::string&) {
              d["nodes"] = Json::array({{{"children", {1}}, {"scale", {-1, 1, 1}}},
                                        {{"mesh", 0}, {"translation", {10, 2, 0}}, {"scale", {2, 2, 2}}}});
            }));
  auto placed = readOk(dir + "/nodes.glb");
  ASSERT_EQ(placed.points.size(), 4u);
  EXPECT_EQ(placed.points[1].x, -12.0f);
  EXPECT_EQ(placed.points[1].y, 2.0f);
  EXPECT_EQ(placed.points[2].z, 2.0f);
  EXPECT_EQ(placed.tris, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3}));

  // The same mesh placed twice, 16-bit indices, points interleaved with
  // normals: one geometry, the second copy's indices after the first's points.
  std::string inter;
  for (size_t i = 0; i < 4; ++i) {
    inter += bytesOf(std::vector<float>(kSquare.begin() + long(3 * i), kSquare.begin() + long(3 * i + 3)));
    inter += bytesOf(std::vector<float>{0, 1, 0});
  }
  const std::vector<uint16_t> small = {0, 1, 2, 0, 2, 3};
  writeText(dir + "/twice.glb", editedGlb(kSquare, kSquareTris, [&](Json& d, std::string& bin) {
              bin = inter + bytesOf(small);
              d["bufferViews"][0]["byteLength"] = 96;
              d["bufferViews"][0]["byteStride"] = 24;
              d["bufferViews"][1] = {{"buffer", 0}, {"byteOffset", 96}, {"byteLength", 12}};
              d["accessors"][1]["componentType"] = 5123;
              d["buffers"][0]["byteLength"] = 108;
              d["nodes"] = Json::array({{{"mesh", 0}}, {{"mesh", 0}, {"translation", {0, 5, 0}}}});
              d["scenes"][0]["nodes"] = {0, 1};
            }));
  auto twice = readOk(dir + "/twice.glb");
  ASSERT_EQ(twice.points.size(), 8u);
  EXPECT_EQ(twice.points[6].y, 5.0f);
  EXPECT_EQ(twice.tris, (std::vector<uint32_t>{0, 2, 1, 0, 3, 2, 4, 6, 5, 4, 7, 6}));

  // No indices: every three points are a triangle; lines are passed over.
  writeText(dir + "/soup.glb", editedGlb(kSquare, kSquareTris, [](Json& d, std::string&) {
              d["meshes"][0]["primitives"][0].erase("indices");
              d["accessors"][0]["count"] = 3;
              d["meshes"][0]["primitives"].push_back({{"attributes", {{"POSITION", 0}}}, {"mode", 1}});
            }));
  EXPECT_EQ(readOk(dir + "/soup.glb").tris, (std::vector<uint32_t>{0, 2, 1}));

  // A sparse accessor: point 2 moved up by a substitution after the rest.
  writeText(dir + "/sparse.glb", editedGlb(kSquare, kSquareTris, [](Json& d, std::string& bin) {
              bin += bytesOf(std::vector<uint16_t>{2, 0}) + bytesOf(std::vector<float>{1, 7, -1});
              d["bufferViews"].push_back({{"buffer", 0}, {"byteOffset", 72}, {"byteLength", 4}});
              d["bufferViews"].push_back({{"buffer", 0}, {"byteOffset", 76}, {"byteLength", 12}});
              d["buffers"][0]["byteLength"] = 88;
              d["accessors"][0]["sparse"] = {{"count", 1},
                                             {"indices", {{"bufferView", 2}, {"componentType", 5123}}},
                                             {"values", {{"bufferView", 3}}}};
            }));
  auto sparse = readOk(dir + "/sparse.glb");
  ASSERT_EQ(sparse.points.size(), 4u);
  EXPECT_EQ(sparse.points[2].y, 7.0f);
  EXPECT_EQ(sparse.points[1].y, 0.0f);

  // A .gltf whose buffer is a file beside it, and one whose buffer is inline.
  const std::string bin = bytesOf(kSquare) + bytesOf(kSquareTris);
  writeText(dir + "/beside data.bin", bin);
  Json beside = groundDocument(4, 6, {0, 0, -1}, {1, 0, 0});
  beside["buffers"][0]["uri"] = "beside%20data.bin";
  writeText(dir + "/beside.gltf", beside.dump());
  EXPECT_EQ(readOk(dir + "/beside.gltf").tris, plain.tris);
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string b64;
  for (size_t i = 0; i < bin.size(); i += 3) {
    uint32_t v = uint32_t(uint8_t(bin[i])) << 16 | uint32_t(uint8_t(bin[i + 1])) << 8 | uint8_t(bin[i + 2]);
    for (int k = 3; k >= 0; --k) b64 += kDigits[(v >> (6 * k)) & 63];
  }
  Json embedded = groundDocument(4, 6, {0, 0, -1}, {1, 0, 0});
  embedded["buffers"][0]["uri"] = "data:application/octet-stream;base64," + b64;
  writeText(dir + "/embedded.gltf", embedded.dump());
  auto inlined = readOk(dir + "/embedded.gltf");
  EXPECT_TRUE(sameBits(inlined.points, plain.points));
  EXPECT_EQ(inlined.tris, plain.tris);
}

struct BadFile {
  const char* label;
  std::string bytes;
  std::string expected;  // what the one line says after the file's path
};

void PrintTo(const BadFile& c, std::ostream* os) { *os << c.label; }

class GltfBadFiles : public ::testing::TestWithParam<BadFile> {};

TEST_P(GltfBadFiles, OneLineAndExitThree) {
  const BadFile& c = GetParam();
  const std::string dir = tempFolder(std::string("gltf-bad-") + c.label);
  if (std::string(c.label) != "Missing") writeText(dir + "/ground.glb", c.bytes);
  writeText(dir + "/s.kwscene.json", hillsScene({{"gltf", "ground.glb"}}));
  Ran r = runIn(dir, "run s.kwscene.json");
  EXPECT_EQ(r.status, 3) << r.err;
  EXPECT_EQ(countLines(r.err), 1u) << r.err;
  const std::string head = "error: s.kwscene.json: objects[0].gltf: ground.glb: ";
  EXPECT_EQ(r.err.substr(0, head.size()), head) << r.err;
  EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
}

std::string withDoc(void (*edit)(Json&, std::string&)) { return editedGlb(kSquare, kSquareTris, edit); }

INSTANTIATE_TEST_SUITE_P(
    Cases, GltfBadFiles,
    ::testing::Values(
        BadFile{"Missing", "", "file: cannot open: No such file or directory"},
        BadFile{"NotGltf", "solid ground\nfacet normal 0 1 0\n", "file: not a glTF file"},
        BadFile{"BrokenJson", "{\"asset\": {\"version\": \"2.0\"", "file: not glTF JSON: line 1"},
        BadFile{"Gltf1", withDoc([](Json& d, std::string&) { d["asset"]["version"] = "1.0"; }),
                "asset.version: glTF \"1.0\"; only glTF 2.x is read"},
        BadFile{"CutShort", withDoc([](Json&, std::string&) {}).substr(0, 200), "the glb header gives a length of"},
        BadFile{"NoScene", withDoc([](Json& d, std::string&) { d.erase("scenes"); d.erase("scene"); }),
                "scenes: the file has no scene"},
        BadFile{"OnlyLines", withDoc([](Json& d, std::string&) { d["meshes"][0]["primitives"][0]["mode"] = 1; }),
                "scenes[0]: no triangles"},
        BadFile{"IndexOutOfRange",
                withDoc([](Json&, std::string& bin) { std::memcpy(bin.data() + 48 + 4 * 4, "\x09\0\0\0", 4); }),
                "accessors[1]: index 9 (element 4) is out of range: the primitive has 4 points"},
        BadFile{"NaN", withDoc([](Json&, std::string& bin) { std::memcpy(bin.data() + 28, "\0\0\xc0\x7f", 4); }),
                "accessors[0]: point 2 is not a finite 32-bit float"},
        BadFile{"AccessorPastItsView",
                withDoc([](Json& d, std::string&) { d["accessors"][1]["count"] = 9; }),
                "accessors[1]: 9 elements need 36 bytes of bufferViews[1], which has 24 (a buffer shorter than "
                "the accessor says)"},
        BadFile{"BufferShorterThanSaid",
                withDoc([](Json& d, std::string&) { d["buffers"][0]["byteLength"] = 400; }),
                "buffers[0].byteLength: the buffer is said to hold 400 bytes, but 72 are there"},
        BadFile{"NeedsDraco",
                withDoc([](Json& d, std::string&) {
                  d["extensionsRequired"] = {"KHR_draco_mesh_compression"};
                }),
                "extensionsRequired: the file needs [\"KHR_draco_mesh_compression\"]"},
        BadFile{"NodeCycle",
                withDoc([](Json& d, std::string&) { d["nodes"] = Json::array({{{"mesh", 0}, {"children", {0}}}}); }),
                "nodes[0]: is reached twice from scenes[0]"},
        BadFile{"HalfPoints", withDoc([](Json& d, std::string&) { d["accessors"][0]["componentType"] = 5123; }),
                "POSITION must be VEC3 of 32-bit floats"}),
    [](const ::testing::TestParamInfo<BadFile>& i) { return std::string(i.param.label); });

}  // namespace
