#include <windows.h>

#include "base/text.h"
#include "files/path.h"
#include "files/replacement_steps.h"
#include "files/win32.h"

namespace quorvel::replacement {
namespace {

using qbase::Utf8ToWide;
using qbase::WideToUtf8;

constexpr wchar_t kTemporaryPattern[] = L".quorvel-*.tmp";

// While set, the system deletes the file when its last handle closes, however the process ends.
bool MarkForDeletion(HANDLE h, bool deleteIt) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = deleteIt ? TRUE : FALSE;
  return ::SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// The path of the file the handle is open on, links followed, in the system's \\?\ form.
std::optional<std::wstring> FinalPath(HANDLE h) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFinalPathNameByHandleW(h, path.data(), static_cast<DWORD>(path.size()), FILE_NAME_NORMALIZED);
    if (n == 0) return Failed();
    if (n < path.size()) return path.substr(0, n);
    path.resize(n);
  }
}

}  // namespace

std::optional<Place> Find(const std::string& path) {
  std::wstring target = SystemPath(path);
  if (IsDevice(target)) return Place{WideToUtf8(target), true, true};
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return Failed(ERROR_DIRECTORY);
  bool inPlace = false;
  if (exists) {
    // A file that the user may not write, or that another program holds without sharing, is
    // refused before anything is written; one the user may write but not delete cannot be replaced,
    // and is written in place. A link leads to the file that takes the new contents.
    constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    ScopedHandle probe(OpenHandle(target, GENERIC_WRITE | DELETE, kShareAll, OPEN_EXISTING));
    if (probe.get() == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_ACCESS_DENIED) {
      probe.reset(OpenHandle(target, GENERIC_WRITE, kShareAll, OPEN_EXISTING));
      inPlace = probe.get() != INVALID_HANDLE_VALUE;
    }
    if (probe.get() == INVALID_HANDLE_VALUE) return Failed();
    const std::optional<std::wstring> final = FinalPath(probe.get());
    if (!final) return std::nullopt;
    target = *final;
  }
  return Place{WideToUtf8(target), exists, false, inPlace};
}

// A run that was killed between finishing its temporary file and renaming it left the file behind.
// A live run holds its own without sharing from the moment it is made, so only the files of runs
// that ended can be removed; and only files that carry this program's mark.
void RemoveStaleTemporaries(const std::string& target) {
  const std::wstring folder = FolderOf(Utf8ToWide(target));
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileExW((folder + L"\\" + kTemporaryPattern).c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsTemporaryName(WideToUtf8(found.cFileName), kHeld)) {
      ::DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

std::optional<Temporary> CreateBeside(const Place& place) {
  const std::wstring folder = FolderOf(Utf8ToWide(place.target));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring temporary = folder + L"\\" + Utf8ToWide(TemporaryName(kHeld));
    const HANDLE h = OpenHandle(temporary, GENERIC_WRITE | DELETE, 0, CREATE_NEW);
    if (h != INVALID_HANDLE_VALUE) {
      MarkForDeletion(h, true);  // without it, a dead run's file waits for the next run to remove it
      return Temporary{FileHandle::Adopt(h), WideToUtf8(temporary)};
    }
    if (::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  return Failed();
}

std::optional<File> OpenTarget(const Place& place) {
  const HANDLE h = place.device ? OpenHandle(Utf8ToWide(place.target), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING)
                                : OpenHandle(Utf8ToWide(place.target), GENERIC_WRITE, 0, TRUNCATE_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return Failed();
  return FileHandle::Adopt(h);
}

// No signal reaches a Windows program that would leave a file written in place cut short: nothing to
// undo.
void Settle(File&) {}

// The new file keeps its name from here on, and takes the old one's place: ReplaceFileW keeps the
// attributes and permissions of the file it replaces.
bool PutInPlace(File& file, std::string& temporary, const std::string& target) {
  if (!MarkForDeletion(FileHandle::Of(file), false)) return Failed(), false;
  if (!file.Close()) return false;
  const std::wstring from = Utf8ToWide(temporary), to = Utf8ToWide(target);
  const bool replaced = ::GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES &&
                        ::ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
  if (!replaced && !::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Failed(), false;
  }
  temporary.clear();
  return true;
}

void Truncate(File& file) {
  LARGE_INTEGER start{};
  ::SetFilePointerEx(FileHandle::Of(file), start, nullptr, FILE_BEGIN);
  ::SetEndOfFile(FileHandle::Of(file));
}

void RemoveTemporary(const std::string& name) { ::DeleteFileW(Utf8ToWide(name).c_str()); }

bool RemoveOrdinaryFile(const std::string& target) {
  const std::wstring path = Utf8ToWide(target);
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) || ::DeleteFileW(path.c_str());
}

}  // namespace quorvel::replacement
