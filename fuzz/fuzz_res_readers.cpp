// The res/ folder's symbol headers, string tables and descriptions.
#include "fuzz_module.h"
#include "validate/fuzz_inputs.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 64 * 1024) return -1;
  kwfuzz::check(kwhost::validate::fuzzResourceText(data, size));
  return 0;
}
