#pragma once
// The framework speaks UTF-8 to the program and UTF-16 to Windows; this is where they meet.

#include <string>
#include <string_view>

namespace qfw {

std::wstring Wide(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

}  // namespace qfw
