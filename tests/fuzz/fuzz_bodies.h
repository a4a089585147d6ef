#pragma once
// What the fuzzers run on each input, shared with the test that replays their corpus.
// Each checks its own invariants and aborts when one does not hold.

#include <cstddef>
#include <cstdint>

namespace quorvel::fuzz {

// A layout file: parsed, loaded, checked, looked up.
void LayoutInput(const std::uint8_t* data, size_t size);

// A value text: read by our hexadecimal rule and by the C library's strtoll, which must agree on the
// value, the saturation, the digits and the rest.
void HexInput(const std::uint8_t* data, size_t size);

}  // namespace quorvel::fuzz
