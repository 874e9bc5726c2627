// Wavefront OBJ meshes for polygon objects.
#include "fuzz_module.h"
#include "validate/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64 * 1024) return -1;
  kwfuzz::check(kwhost::validate::fuzzObjText(data, size));
  return 0;
}
