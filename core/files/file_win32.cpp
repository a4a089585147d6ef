// Files and paths on Windows: file.h and path.h; the error that the replacement's steps ask about.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "base/text.h"
#include "files/path.h"
#include "files/replacement_steps.h"
#include "files/win32.h"

namespace quorvel {
namespace {

thread_local DWORD t_lastError = 0;

// One DWORD at a time: ReadFile and WriteFile take 32-bit counts.
constexpr size_t kMaxTransfer = 0x40000000;

}  // namespace

std::nullopt_t Failed() { return Failed(::GetLastError()); }

std::nullopt_t Failed(DWORD error) {
  t_lastError = error;
  return std::nullopt;
}

bool replacement::AccessDenied() { return t_lastError == ERROR_ACCESS_DENIED; }
void replacement::DenyAccess() { t_lastError = ERROR_ACCESS_DENIED; }

std::string LastSystemError() {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, t_lastError, 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::wstring message = n ? std::wstring(text, n) : L"error " + std::to_wstring(t_lastError);
  ::LocalFree(text);
  while (!message.empty() && (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) message.pop_back();
  return qbase::WideToUtf8(message);
}

std::optional<File> File::OpenForReading(const std::string& path) {
  const HANDLE h = OpenHandle(SystemPath(path), GENERIC_READ, 0, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return Failed();
  return FileHandle::Adopt(h);
}

std::optional<File> File::OpenSharedForReading(const std::string& path) {
  const HANDLE h = OpenHandle(SystemPath(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return Failed();
  return FileHandle::Adopt(h);
}

std::optional<FileStamp> File::Stamp() const {
  LARGE_INTEGER size;
  FILE_BASIC_INFO basic{};
  if (!::GetFileSizeEx(FileHandle::Of(*this), &size) ||
      !::GetFileInformationByHandleEx(FileHandle::Of(*this), FileBasicInfo, &basic, sizeof basic)) {
    return Failed();
  }
  return FileStamp{static_cast<std::uint64_t>(size.QuadPart), basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart};
}

bool File::IsRegular() const { return ::GetFileType(FileHandle::Of(*this)) == FILE_TYPE_DISK; }

std::optional<size_t> File::Read(void* buffer, size_t size) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min(size - done, kMaxTransfer));
    if (!::ReadFile(FileHandle::Of(*this), out + done, want, &got, nullptr)) {
      if (::GetLastError() == ERROR_BROKEN_PIPE) break;  // the writing end of a pipe closed: its end
      return Failed();
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

// A read at an offset moves the position of a handle opened for plain reads: it is put back.
std::optional<size_t> File::ReadAt(std::uint64_t offset, void* buffer, size_t size) {
  const HANDLE h = FileHandle::Of(*this);
  LARGE_INTEGER position{};
  if (!::SetFilePointerEx(h, LARGE_INTEGER{}, &position, FILE_CURRENT)) return Failed();
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  bool failed = false;
  while (done < size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    DWORD got = 0;
    if (!::ReadFile(h, out + done, static_cast<DWORD>(std::min(size - done, kMaxTransfer)), &got, &at)) {
      failed = ::GetLastError() != ERROR_HANDLE_EOF;
      if (failed) Failed();
      break;
    }
    if (got == 0) break;
    done += got;
  }
  if (!::SetFilePointerEx(h, position, nullptr, FILE_BEGIN)) return Failed();
  if (failed) return std::nullopt;
  return done;
}

std::optional<size_t> File::ReadSome(void* buffer, size_t size) {
  DWORD got = 0;
  if (::ReadFile(FileHandle::Of(*this), buffer, static_cast<DWORD>(std::min(size, kMaxTransfer)), &got, nullptr)) return got;
  if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;  // the writing end of a pipe closed: its end
  return Failed();
}

bool File::WriteAll(const void* data, size_t size) {
  const auto* in = static_cast<const char*>(data);
  while (size > 0) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!::WriteFile(FileHandle::Of(*this), in, want, &put, nullptr)) return Failed(), false;
    if (put == 0) return Failed(ERROR_WRITE_FAULT), false;
    in += put;
    size -= put;
  }
  return true;
}

// Windows has no copy between open handles inside the system; the caller reads and writes.
File::CopyResult File::CopyFrom(File&, std::uint64_t) { return CopyResult::Unsupported; }

// ReFS can clone blocks too (FSCTL_DUPLICATE_EXTENTS_TO_FILE), but that is not tried: every erased
// byte is written.
void File::ShareErasedRuns() {}
bool File::WriteErased(std::uint64_t count) { return WriteFill(count); }

bool File::Flush() {
  if (::FlushFileBuffers(FileHandle::Of(*this)) || ::GetFileType(FileHandle::Of(*this)) != FILE_TYPE_DISK) return true;
  return Failed(), false;
}

bool File::Close() {
  if (m_handle == kInvalid) return true;
  if (::CloseHandle(reinterpret_cast<HANDLE>(std::exchange(m_handle, kInvalid)))) return true;
  return Failed(), false;
}

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

bool NamesStandardOutput(const std::string& path) {
  BY_HANDLE_FILE_INFORMATION out{};
  const std::optional<BY_HANDLE_FILE_INFORMATION> named = Identify(SystemPath(path));
  return named && ::GetFileInformationByHandle(::GetStdHandle(STD_OUTPUT_HANDLE), &out) && SameIdentity(out, *named);
}

bool IsFolder(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(SystemPath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsPipe(const std::string&) { return false; }

}  // namespace quorvel
