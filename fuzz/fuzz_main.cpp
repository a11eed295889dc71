// One libFuzzer program per target; FUZZ_TARGET names the entry.
#include "targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tw::fuzz::FUZZ_TARGET(data, size);
  return 0;
}
