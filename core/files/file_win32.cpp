#include <windows.h>

#include <algorithm>
#include <utility>

#include "base/text.h"
#include "files/path.h"
#include "files/win32.h"

namespace quorvel {
namespace {

thread_local DWORD t_lastError = 0;

// One DWORD at a time: ReadFile and WriteFile take 32-bit counts.
constexpr size_t kMaxTransfer = 0x40000000;

}  // namespace

std::nullopt_t Failed() {
  t_lastError = ::GetLastError();
  return std::nullopt;
}

void FailWith(DWORD error) { t_lastError = error; }

DWORD LastError() { return t_lastError; }

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

std::optional<std::uint64_t> File::Size() const {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(FileHandle::Of(*this), &size)) return Failed();
  return static_cast<std::uint64_t>(size.QuadPart);
}

std::optional<FileStamp> File::Stamp() const {
  FILE_BASIC_INFO basic{};
  const std::optional<std::uint64_t> size = Size();
  if (!size || !::GetFileInformationByHandleEx(FileHandle::Of(*this), FileBasicInfo, &basic, sizeof basic)) return Failed();
  return FileStamp{*size, basic.LastWriteTime.QuadPart, basic.ChangeTime.QuadPart};
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

bool File::WriteAll(const void* data, size_t size) {
  const auto* in = static_cast<const char*>(data);
  while (size > 0) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!::WriteFile(FileHandle::Of(*this), in, want, &put, nullptr)) return Failed(), false;
    if (put == 0) {
      FailWith(ERROR_WRITE_FAULT);
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
  if (::FlushFileBuffers(FileHandle::Of(*this)) || ::GetFileType(FileHandle::Of(*this)) != FILE_TYPE_DISK) return true;
  return Failed(), false;
}

bool File::Close() {
  if (m_handle == kInvalid) return true;
  if (::CloseHandle(reinterpret_cast<HANDLE>(std::exchange(m_handle, kInvalid)))) return true;
  return Failed(), false;
}

}  // namespace quorvel
