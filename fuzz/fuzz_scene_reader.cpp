// Scene files: read, written back, read again.
#include "fuzz_module.h"
#include "validate/fuzz_inputs.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kwfuzz::module();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64 * 1024) return -1;
  kwfuzz::check(kwhost::validate::fuzzSceneText(kwfuzz::module(), data, size));
  return 0;
}
