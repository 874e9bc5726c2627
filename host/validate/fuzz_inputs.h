// What each fuzz target does with one input, kept in the validator's
// library so that the regression tests replay saved inputs through exactly
// the same code without libFuzzer. Each returns the empty string when every
// invariant held, else what broke (the fuzz targets abort on it).
#ifndef KWHOST_VALIDATE_FUZZ_INPUTS_H
#define KWHOST_VALIDATE_FUZZ_INPUTS_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace kwhost {
class Module;
}

namespace kwhost::validate {

// A crowd decoded from the bytes (counts, parameters, matrices, links to
// objects of the wrong type, container entries of any type, then a program
// of frames, presses, draws, copies and deletions) run through the module.
// After it: no module block or handle more than before, no bad free, no
// fault inside a table operation; with the input's "plausible" bit set, no
// agent matrix that is not finite, as long as no input with extreme values
// has run in the process (the module-wide agent table keeps what such an
// input left). plausibleOnly: every input decodes to plausible values.
std::string fuzzCrowd(Module& module, const uint8_t* data, size_t size, bool plausibleOnly = false);

// A scene file's text read with the module started; when it reads, it is
// written back and read again, and must give the same text (a saved scene
// loads as the same scene). An input that is a scene recipe (below) is
// grown into its scene first, which is also run for two frames, all on a
// stack of 512 KB (POSIX), which a call per level would overflow. An input
// that starts with "glTF" is a glb file, read as the ground of a small crowd
// that then runs a frame and is written back the same way.
std::string fuzzSceneText(Module& module, const uint8_t* data, size_t size);

// Scene recipes: byte 0 from 0xF8 up (no JSON text starts so) picks a shape
// of great depth or width, bytes 1 and 2 its size N (little-endian, the low
// 12 bits: at most 4,095), the rest is raw JSON text put into the generated
// objects, tags or parameters: 0xF8 a chain of N nested objects (the text in
// the innermost), 0xF9 the same with the text in every one, 0xFA N top-level
// objects, 0xFB one object with N tags, 0xFC a parameter value N arrays
// deep, 0xFD a crowd under N nested objects (the text as its tag's
// parameters), 0xFE a tag with N parameters, 0xFF a chain whose every level
// has a leaf with the text.
// False (text untouched) when the input is no recipe.
bool expandSceneRecipe(const uint8_t* data, size_t size, std::string* text);

// An OBJ file read as a polygon mesh; a mesh that reads must be usable.
std::string fuzzObjText(const uint8_t* data, size_t size);

// The res/ readers: the bytes split at the first two 0x00 bytes into a
// symbol header, a string table and a description; each part parsed, and
// the description loaded from a res/ folder holding the three.
std::string fuzzResourceText(const uint8_t* data, size_t size);

}  // namespace kwhost::validate

#endif
