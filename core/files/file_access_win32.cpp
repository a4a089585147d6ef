#include <windows.h>

#include <algorithm>
#include <memory>
#include <random>
#include <utility>

#include "base/text.h"
#include "files/file_access.h"

namespace quorvel {
namespace {

using qbase::Utf8ToWide;
using qbase::WideToUtf8;

thread_local DWORD t_lastError = 0;

// Keeps GetLastError for LastSystemError; returns nothing, for the callers' failure paths.
std::nullopt_t Failed() {
  t_lastError = ::GetLastError();
  return std::nullopt;
}

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t Handle(HANDLE h) { return reinterpret_cast<std::intptr_t>(h); }

// Owns a handle that may be INVALID_HANDLE_VALUE.
struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }
bool IsDevice(const std::wstring& systemPath) { return StartsWith(systemPath, L"\\\\.\\"); }

std::wstring FolderOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }
std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L'\\') + 1); }

// One DWORD at a time: ReadFile and WriteFile take 32-bit counts.
constexpr size_t kMaxTransfer = 0x40000000;

constexpr wchar_t kTemporaryPattern[] = L".quorvel-*.tmp";

std::wstring TemporaryName() {
  wchar_t name[32];
  ::swprintf(name, 32, L".quorvel-%08x.tmp", std::random_device{}());
  return name;
}

// A run that was killed between finishing its temporary file and renaming it left the file behind.
// A live run holds its own without sharing, so only the files of runs that ended can be removed.
void RemoveStaleTemporaries(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  const HANDLE search = ::FindFirstFileExW((folder + L"\\" + kTemporaryPattern).c_str(), FindExInfoBasic, &found,
                                           FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((folder + L"\\" + found.cFileName).c_str());
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

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

std::string LastSystemError() {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, t_lastError, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::wstring message = n ? std::wstring(text, n) : L"error " + std::to_wstring(t_lastError);
  ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) message.pop_back();
  return WideToUtf8(message);
}

std::wstring SystemPath(const std::string& path) {
  const std::wstring wide = Utf8ToWide(path);
  if (wide.empty() || StartsWith(wide, L"\\\\?\\")) return wide;
  const DWORD need = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (need == 0) return wide;  // the call that gets it fails and says why
  std::wstring full(need, L'\0');
  full.resize(::GetFullPathNameW(wide.c_str(), need, full.data(), nullptr));
  if (IsDevice(full)) return full;
  if (StartsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

namespace {

HANDLE OpenHandle(const std::wstring& path, DWORD access, DWORD share, DWORD disposition, DWORD flags = FILE_ATTRIBUTE_NORMAL) {
  return ::CreateFileW(path.c_str(), access, share, nullptr, disposition, flags, nullptr);
}

}  // namespace

std::optional<File> File::OpenForReading(const std::string& path) {
  const HANDLE h = OpenHandle(SystemPath(path), GENERIC_READ, 0, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return Failed();
  return File(Handle(h));
}

std::optional<File> File::OpenSharedForReading(const std::string& path) {
  const HANDLE h = OpenHandle(SystemPath(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return Failed();
  return File(Handle(h));
}

std::optional<std::uint64_t> File::Size() const {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(H(m_handle), &size)) return Failed();
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<FileStamp> File::Stamp() const {
  FILE_BASIC_INFO basic{};
  const std::optional<std::uint64_t> size = Size();
  if (!size || !::GetFileInformationByHandleEx(H(m_handle), FileBasicInfo, &basic, sizeof basic)) return Failed();
  return FileStamp{*size, basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart};
}

bool File::IsRegular() const { return ::GetFileType(H(m_handle)) == FILE_TYPE_DISK; }

std::optional<size_t> File::Read(void* buffer, size_t size) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min(size - done, kMaxTransfer));
    if (!::ReadFile(H(m_handle), out + done, want, &got, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE) break;  // the writing end of a pipe closed: its end
      return Failed();
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool File::WriteAll(const void* data, size_t size) {
  const auto* in = static_cast<const char*>(data);
  while (size > 0) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!::WriteFile(H(m_handle), in, want, &put, nullptr)) return Failed(), false;
    if (put == 0) {
      t_lastError = ERROR_WRITE_FAULT;
      return false;
    }
    in += put;
    size -= put;
  }
  return true;
}

// Windows has no copy between open handles inside the system; the caller reads and writes.
File::CopyResult File::CopyFrom(File&, std::uint64_t) { return CopyResult::Unsupported; }

bool File::Flush() {
  if (::FlushFileBuffers(H(m_handle)) || ::GetFileType(H(m_handle)) != FILE_TYPE_DISK) return true;
  return Failed(), false;
}

bool File::Close() {
  if (m_handle == kInvalid) return true;
  if (::CloseHandle(H(std::exchange(m_handle, kInvalid)))) return true;
  return Failed(), false;
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

std::optional<ReplacementFile> ReplacementFile::Open(const std::string& path) {
  std::wstring target = SystemPath(path);
  if (IsDevice(target)) {
    const HANDLE h = OpenHandle(target, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    if (h == INVALID_HANDLE_VALUE) return Failed();
    return ReplacementFile(File(Handle(h)), Mode::Device, WideToUtf8(target), {});
  }
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (exists && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    t_lastError = ERROR_DIRECTORY;
    return std::nullopt;
  }
  if (exists) {
    // A file that the user may not write, or that another program holds without sharing, is
    // refused before anything is written. A link leads to the file that takes the new contents.
    const ScopedHandle probe(OpenHandle(target, GENERIC_WRITE | DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  OPEN_EXISTING));
    if (probe.get() == INVALID_HANDLE_VALUE) return Failed();
    const std::optional<std::wstring> final = FinalPath(probe.get());
    if (!final) return std::nullopt;
    target = *final;
  }
  const std::wstring folder = FolderOf(target);
  RemoveStaleTemporaries(folder);
  HANDLE h = INVALID_HANDLE_VALUE;
  std::wstring temporary;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temporary = folder + L"\\" + TemporaryName();
    h = OpenHandle(temporary, GENERIC_WRITE | DELETE, 0, CREATE_NEW);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (h != INVALID_HANDLE_VALUE) {
    MarkForDeletion(h, true);  // without it, a dead run's file waits for the next run to remove it
    return ReplacementFile(File(Handle(h)), Mode::Named, WideToUtf8(target), WideToUtf8(temporary));
  }
  if (!exists || ::GetLastError() != ERROR_ACCESS_DENIED) return Failed();
  // No file can be made in the folder, but the output itself may be written: in place.
  h = OpenHandle(target, GENERIC_WRITE, 0, TRUNCATE_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return Failed();
  return ReplacementFile(File(Handle(h)), Mode::InPlace, WideToUtf8(target), {});
}

bool ReplacementFile::PutInPlace() {
  bool ok = m_mode == Mode::Device || m_file.Flush();
  if (ok && m_mode == Mode::Named) {
    // The new file keeps its name from here on, and takes the old one's place: ReplaceFileW keeps
    // the attributes and permissions of the file it replaces.
    const std::wstring temporary = Utf8ToWide(m_temporary), target = Utf8ToWide(m_target);
    ok = (MarkForDeletion(H(m_file.m_handle), false) || (Failed(), false)) && m_file.Close();
    const bool replaced = ok && ::GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES &&
                          ::ReplaceFileW(target.c_str(), temporary.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                                         nullptr, nullptr);
    ok = ok && (replaced ||
                ::MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ||
                (Failed(), false));
    if (ok) m_temporary.clear();
  }
  ok = ok && m_file.Close();
  return ok;
}

void ReplacementFile::Drop() {
  if (m_mode == Mode::InPlace) {
    LARGE_INTEGER start{};
    ::SetFilePointerEx(H(m_file.m_handle), start, nullptr, FILE_BEGIN);
    ::SetEndOfFile(H(m_file.m_handle));
  }
  m_file.Close();  // a file marked for deletion goes with its handle
  if (!m_temporary.empty()) ::DeleteFileW(Utf8ToWide(m_temporary).c_str());
}

void ReplacementFile::RemoveOld() {
  if (m_mode == Mode::Device) return;
  const std::wstring target = Utf8ToWide(m_target);
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW(target.c_str());
}

// The system removes a temporary file marked for deletion however the process ends.
void RemoveTemporaryOnInterrupt() {}

}  // namespace quorvel
