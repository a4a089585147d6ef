#include <windows.h>

#include "base/text.h"
#include "files/path.h"
#include "files/win32.h"

namespace quorvel {

std::wstring SystemPath(const std::string& path) {
  const std::wstring wide = qbase::Utf8ToWide(path);
  if (wide.empty() || wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const DWORD need = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return wide;  // the call that gets it fails and says why
  std::wstring full(need, L'\0');
  full.resize(::GetFullPathNameW(wide.c_str(), need, full.data(), nullptr));
  if (IsDevice(full)) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

namespace {

// The volume and index of the file or folder at path; asking for no access opens a file whoever
// holds it, and follows links to their target. Pipes and devices are not opened, for opening one
// takes what its writer sends: they have no identity here.
std::optional<BY_HANDLE_FILE_INFORMATION> Identify(const std::wstring& systemPath) {
  const DWORD attributes = ::GetFileAttributesW(systemPath.c_str());
  if (IsDevice(systemPath) || attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DEVICE)) {
    return std::nullopt;
  }
  const ScopedHandle h(OpenHandle(systemPath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS));
  BY_HANDLE_FILE_INFORMATION info{};
  if (h.get() == INVALID_HANDLE_VALUE || !::GetFileInformationByHandle(h.get(), &info)) return std::nullopt;
  return info;
}

bool SameIdentity(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}

}  // namespace

bool IsSameFile(const std::string& a, const std::string& b) {
  const std::wstring pathA = SystemPath(a), pathB = SystemPath(b);
  const auto idA = Identify(pathA), idB = Identify(pathB);
  if (idA && idB) return SameIdentity(*idA, *idB);
  if (idA || idB || IsDevice(pathA) || IsDevice(pathB)) return false;
  const std::wstring nameA = NameOf(pathA), nameB = NameOf(pathB);
  const auto folderA = Identify(FolderOf(pathA)), folderB = Identify(FolderOf(pathB));
  return !nameA.empty() && folderA && folderB && SameIdentity(*folderA, *folderB) &&
         ::CompareStringOrdinal(nameA.c_str(), -1, nameB.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace quorvel
