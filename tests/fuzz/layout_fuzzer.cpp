// libFuzzer entry: layout files.
#include "fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  quorvel::fuzz::LayoutInput(data, size);
  return 0;
}
