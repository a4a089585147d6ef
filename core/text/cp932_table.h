#pragma once
// The double-byte half of code page 932 (Shift_JIS as Windows has it), generated data.

namespace quorvel {

// Rows are the lead bytes 0x81-0x9F then 0xE0-0xFC; columns the trail bytes 0x40-0xFC.
extern const char16_t kCp932DoubleByte[60][189];

}  // namespace quorvel
