#include "glb_files.h"

#include <algorithm>
#include <cstring>

namespace kwtest {

namespace {

void put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += char((v >> (8 * i)) & 0xff);
}

}  // namespace

std::string glbContainer(const kwhost::scene::Json& doc, const std::string& bin) {
  std::string json = doc.dump();
  json.append((4 - json.size() % 4) % 4, ' ');
  std::string padded = bin;
  padded.append((4 - padded.size() % 4) % 4, '\0');
  const size_t total = 12 + 8 + json.size() + (bin.empty() ? 0 : 8 + padded.size());
  std::string out;
  out.reserve(total);
  out += "glTF";
  put32(out, 2);
  put32(out, uint32_t(total));
  put32(out, uint32_t(json.size()));
  out += "JSON";
  out += json;
  if (!bin.empty()) {
    put32(out, uint32_t(padded.size()));
    out += std::string("BIN\0", 4);
    out += padded;
  }
  return out;
}

kwhost::scene::Json groundDocument(size_t n, size_t corners, const KwVector& min, const KwVector& max) {
  using kwhost::scene::Json;
  const size_t pointBytes = n * 12, indexBytes = corners * 4;
  return Json{
      {"asset", {{"version", "2.0"}, {"generator", "Kestrelwood tests"}}},
      {"scene", 0},
      {"scenes", Json::array({Json{{"nodes", Json::array({0})}}})},
      {"nodes", Json::array({Json{{"mesh", 0}}})},
      {"meshes", Json::array({Json{{"primitives", Json::array({Json{
                                                {"attributes", {{"POSITION", 0}}}, {"indices", 1}, {"mode", 4}}})}}})},
      {"accessors", Json::array({Json{{"bufferView", 0}, {"componentType", 5126}, {"count", n}, {"type", "VEC3"},
                                      {"min", Json::array({min.x, min.y, min.z})},
                                      {"max", Json::array({max.x, max.y, max.z})}},
                                 Json{{"bufferView", 1}, {"componentType", 5125}, {"count", corners}, {"type", "SCALAR"}}})},
      {"bufferViews", Json::array({Json{{"buffer", 0}, {"byteOffset", 0}, {"byteLength", pointBytes}, {"target", 34962}},
                                   Json{{"buffer", 0}, {"byteOffset", pointBytes}, {"byteLength", indexBytes},
                                        {"target", 34963}}})},
      {"buffers", Json::array({Json{{"byteLength", pointBytes + indexBytes}}})}};
}

std::string groundGlb(const std::vector<KwVector>& points, const std::vector<uint32_t>& tris) {
  std::vector<KwVector> gltf(points);
  KwVector lo{0, 0, 0}, hi{0, 0, 0};
  for (size_t i = 0; i < gltf.size(); ++i) {
    gltf[i].z = -gltf[i].z;
    const KwVector& p = gltf[i];
    if (i == 0) lo = hi = p;
    lo = {std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z)};
    hi = {std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z)};
  }
  std::vector<uint32_t> corners(tris);
  for (size_t k = 0; k + 2 < corners.size(); k += 3) std::swap(corners[k + 1], corners[k + 2]);
  return glbContainer(groundDocument(gltf.size(), corners.size(), lo, hi), bytesOf(gltf) + bytesOf(corners));
}

}  // namespace kwtest
