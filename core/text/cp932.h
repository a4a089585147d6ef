#pragma once
// Code page 932 (Shift_JIS as Windows has it), converted the way the Windows ANSI functions do.

#include <cstddef>
#include <string>
#include <string_view>

namespace quorvel {

// A lead byte always takes the next byte as its trail, whatever it is; a pair that is not a
// character, or a lead byte at the end, becomes U+30FB. Undefined single bytes round-trip.
std::u16string DecodeCp932(std::string_view bytes);

// At most maxBytes bytes of whole characters. Characters outside the code page take a best-fit
// replacement (a Latin letter without its accent) or '?'; each half of a surrogate pair is '?'.
std::string EncodeCp932(std::u16string_view text, size_t maxBytes = std::string::npos);

}  // namespace quorvel
