#pragma once
// The framework speaks UTF-8 to the program and UTF-16 to Windows; this is where they meet, right at
// the call into a ...W function.

#include <string>
#include <string_view>

namespace qfw {

// Ill-formed input never fails: each bad sequence becomes U+FFFD, as the system converts it.
std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace qfw
