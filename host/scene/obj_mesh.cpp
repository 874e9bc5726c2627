#include "scene/obj_mesh.h"

#include <cerrno>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

#include <tiny_obj_loader.h>

namespace kwhost::scene {

namespace {

// Materials are not part of a terrain; mtllib lines are read past.
class NoMaterials : public tinyobj::MaterialReader {
 public:
  bool operator()(const std::string&, std::vector<tinyobj::material_t>*, std::map<std::string, int>*,
                  std::string*, std::string*) override {
    return true;
  }
};

// Vertex weights ("vw", the loader's skinning extension) are no part of a
// terrain, and the loader turns a joint number too large for an int into
// one without a check (undefined behaviour): those lines are blanked before
// it reads the text, so that line numbers in its messages stay right. A line
// ends where the loader ends it: at a line feed, a carriage return or a NUL.
void blankVertexWeights(std::string& text) {
  constexpr std::string_view kLineEnds("\n\r\0", 3);
  for (size_t line = 0; line < text.size();) {
    size_t end = text.find_first_of(kLineEnds, line);
    if (end == std::string::npos) end = text.size();
    const size_t first = text.find_first_not_of(" \t", line);
    if (first != std::string::npos && first + 2 < end && text.compare(first, 2, "vw") == 0 && (text[first + 2] == ' ' || text[first + 2] == '\t'))
      std::fill(text.begin() + std::ptrdiff_t(line), text.begin() + std::ptrdiff_t(end), ' ');
    line = end + 1;
  }
}

}  // namespace

Result<PolygonMesh> readObjFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return fail("cannot open " + path + ": " + std::strerror(errno));
  std::ostringstream read;
  read << file.rdbuf();
  if (file.bad()) return fail("cannot read " + path + ": " + std::strerror(errno));
  std::string text = std::move(read).str();
  blankVertexWeights(text);
  std::istringstream in(std::move(text));

  tinyobj::attrib_t attrib;
  std::vector<tinyobj::shape_t> shapes;
  std::vector<tinyobj::material_t> materials;
  std::string warn, err;
  NoMaterials noMaterials;
  // No triangulation by the loader: the host splits polygons its own way.
  bool ok = tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, &in, &noMaterials, false, false);
  if (!ok) {
    while (!err.empty() && (err.back() == '\n' || err.back() == '\r')) err.pop_back();
    return fail(path + ": not a readable OBJ file: " + (err.empty() ? "unknown fault" : err));
  }

  PolygonMesh mesh;
  // The loader's notes, one per line ("Degenerated face found" for faces of fewer than 3 points, which it drops).
  // Its lines break inside one note ("Degenerated face found\n."): join them.
  std::string note;
  for (char c : warn) note += (c == '\n' || c == '\r') ? ' ' : c;
  while (!note.empty() && note.back() == ' ') note.pop_back();
  for (size_t at; (at = note.find(" .")) != std::string::npos;) note.erase(at, 1);
  if (!note.empty()) mesh.warnings.push_back(path + ": " + note + " (passed over)");
  const size_t npoints = attrib.vertices.size() / 3;
  mesh.points.reserve(npoints);
  for (size_t i = 0; i < npoints; ++i) {
    KwVector p{attrib.vertices[3 * i], attrib.vertices[3 * i + 1], attrib.vertices[3 * i + 2]};
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
      return fail(path + ": vertex " + std::to_string(i + 1) + " is not a finite 32-bit float");
    mesh.points.push_back(p);
  }
  size_t face = 0;
  for (const tinyobj::shape_t& shape : shapes) {
    size_t at = 0;
    for (unsigned int nv : shape.mesh.num_face_vertices) {
      ++face;
      if (nv < 3) return fail(path + ": face " + std::to_string(face) + " has " + std::to_string(nv) + " points (at least 3 needed)");
      std::vector<uint32_t> poly;
      poly.reserve(nv);
      for (unsigned int k = 0; k < nv; ++k) {
        int vi = shape.mesh.indices[at + k].vertex_index;
        if (vi < 0 || size_t(vi) >= npoints)
          return fail(path + ": face " + std::to_string(face) + " refers to vertex " + std::to_string(int64_t(vi) + 1) +
                      ", but the file has " + std::to_string(npoints) + " vertices");
        poly.push_back(uint32_t(vi));
      }
      at += nv;
      mesh.polygons.push_back(std::move(poly));
    }
  }
  return mesh;
}

}  // namespace kwhost::scene
