// The module driven through the host by crowds of finite, plausible values
// only: no agent may ever become non-finite.
#include "fuzz_module.h"
#include "validate/fuzz_inputs.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kwfuzz::module();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kwfuzz::check(kwhost::validate::fuzzCrowd(kwfuzz::module(), data, size, /*plausibleOnly=*/true));
  return 0;
}
