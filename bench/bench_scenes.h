// The scene files the frame benchmarks run, made on first use in a folder of
// their own (never committed: the terrain's OBJ file is some 60 MB):
//  - packed: 100 agents gathered round their target on flat ground, 4
//    circle obstacles; the crowd of the module benchmark after 2000 frames,
//    recorded there as its start, so every frame of a run is a packed one;
//  - demo: the built-in demo (60 agents, 105,800 triangles);
//  - terrain: 100 agents marching over a static 2,000,000-triangle
//    heightfield (an OBJ file beside the scene); and its flat
//    twin, the same file with the tag's TERRAIN link left empty;
//  - terrain-glb: the flat twin with the same heightfield in a glb file
//    (the same floats and triangles; the Blender benchmark links it), and
//    terrain-bare, the same scene without the ground object: the two tell
//    what reading the glb costs a run.
#ifndef KW_BENCH_BENCH_SCENES_H
#define KW_BENCH_BENCH_SCENES_H

#include <string>

namespace kwbench {

enum class Scene { Packed, Demo, Terrain, TerrainFlat, TerrainGlb, TerrainBare };

// The module must be loaded (scenes are read and written with its tag type).
// Returns the scene file's path, making it first when it is missing; exits
// with a message when it cannot be made.
std::string scenePath(Scene s);
const char* sceneName(Scene s);

// The glb file of the terrain-glb scene (made with it).
std::string terrainGlbPath();

// Frames a command-line measurement runs for the scene.
int sceneFrames(Scene s);

// Says what failed ("frames_bench: WHAT") and exits 1: a frame benchmark
// without its scenes or its module measures nothing.
[[noreturn]] void die(const std::string& what);

// Triangles of the terrain heightfield (cells x cells quads, two triangles each).
inline constexpr int kTerrainCells = 1000;

}  // namespace kwbench

#endif
