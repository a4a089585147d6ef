// libFuzzer entry: value texts.
#include "fuzz_bodies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
  quorvel::fuzz::HexInput(data, size);
  return 0;
}
