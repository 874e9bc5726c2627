// glTF binary files (.glb) for the tests, fuzz seeds and benchmarks: the
// container around any JSON and binary chunk, and a ground written as any
// glTF tool writes one (one node, one mesh, one indexed primitive), in
// glTF's right-handed axes.
#ifndef KW_TESTS_SUPPORT_GLB_FILES_H
#define KW_TESTS_SUPPORT_GLB_FILES_H

#include <cstdint>
#include <string>
#include <vector>

#include "c4d_hosttable.h"
#include "scene/json_fault.h"

namespace kwtest {

// The glb container: header, the JSON chunk (padded with spaces), and the
// binary chunk (padded with zeros) when bin is not empty.
std::string glbContainer(const kwhost::scene::Json& doc, const std::string& bin);

// The bytes of values, as a binary chunk holds them (little-endian).
template <class T>
std::string bytesOf(const std::vector<T>& values) {
  return std::string(reinterpret_cast<const char*>(values.data()), values.size() * sizeof(T));
}

// A ground given in the host's axes, written into glTF's: each point (x, y,
// z) as (x, y, -z), each triangle (a, b, c) as (a, c, b).
std::string groundGlb(const std::vector<KwVector>& points, const std::vector<uint32_t>& tris);

// The glTF document of groundGlb for n points and t triangle corners:
// POSITION accessor 0 (with its bounds), indices accessor 1 (uint32), both
// in buffer 0, points first.
kwhost::scene::Json groundDocument(size_t n, size_t corners, const KwVector& min, const KwVector& max);

}  // namespace kwtest

#endif
