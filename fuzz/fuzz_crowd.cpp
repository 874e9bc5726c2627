// The module driven through the host by a crowd decoded from the input.
#include "fuzz_module.h"
#include "validate/fuzz_inputs.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kwfuzz::module();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kwfuzz::check(kwhost::validate::fuzzCrowd(kwfuzz::module(), data, size));
  return 0;
}
