#pragma once
// Inside this folder: what its Windows sources share.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "files/file.h"

namespace quorvel {

// The handle of a File, and a File that owns a handle.
class FileHandle {
 public:
  static HANDLE Of(const File& file) { return reinterpret_cast<HANDLE>(file.m_handle); }
  static File Adopt(HANDLE h) { return File(reinterpret_cast<std::intptr_t>(h)); }
};

// Keeps GetLastError, or the error given, for LastSystemError; returns nothing, for the callers'
// failure paths.
std::nullopt_t Failed();
std::nullopt_t Failed(DWORD error);

// Owns a handle that may be INVALID_HANDLE_VALUE.
struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

inline HANDLE OpenHandle(const std::wstring& path, DWORD access, DWORD share, DWORD disposition,
                         DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return ::CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

// Of paths in the system's form (SystemPath).
inline bool IsDevice(const std::wstring& systemPath) { return systemPath.rfind(L"\\\\.\\", 0) == 0; }
inline std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }
inline std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

}  // namespace quorvel
