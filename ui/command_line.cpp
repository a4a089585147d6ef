#include "command_line.h"

#include <windows.h>

#include "base/text.h"

namespace quorvel {

std::optional<std::string> StartLayoutPath(const std::vector<std::string>& arguments) {
  if (arguments.size() != 1 || arguments[0].empty()) return std::nullopt;
  const std::wstring path = qbase::Utf8ToWide(arguments[0]);
  std::wstring full(::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr), L'\0');
  if (full.empty()) return arguments[0];  // a name the system cannot resolve: opening it will say so
  full.resize(::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
  return qbase::WideToUtf8(full);
}

}  // namespace quorvel
