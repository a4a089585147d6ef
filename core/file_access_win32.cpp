#include <windows.h>

#include <algorithm>
#include <memory>

#include "file_access.h"
#include "text.h"

namespace quorvel {
namespace {

HANDLE H(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::wstring Wide(const std::string& path) {
  const std::u16string wide = Utf8ToUtf16(path);
  return std::wstring(wide.begin(), wide.end());
}

HANDLE Open(const std::string& path, DWORD access, DWORD share, DWORD disposition) {
  return ::CreateFileW(Wide(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Owns a handle that may be INVALID_HANDLE_VALUE.
struct HandleCloser {
  void operator()(HANDLE h) const {
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  }
};
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

// One DWORD at a time: ReadFile and WriteFile take 32-bit counts.
constexpr size_t kMaxTransfer = 0x40000000;

}  // namespace

std::optional<File> File::OpenForReading(const std::string& path) {
  const HANDLE h = Open(path, GENERIC_READ, 0, OPEN_EXISTING);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  return File(reinterpret_cast<std::intptr_t>(h));
}

std::optional<File> File::CreateForWriting(const std::string& path) {
  const HANDLE h = Open(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  return File(reinterpret_cast<std::intptr_t>(h));
}

std::optional<File> File::CreateNew(const std::string& path) {
  const HANDLE h = Open(path, GENERIC_WRITE, 0, CREATE_NEW);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  return File(reinterpret_cast<std::intptr_t>(h));
}

std::optional<std::uint64_t> File::Size() const {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(H(m_handle), &size)) return std::nullopt;
  return static_cast<std::uint64_t>(size.QuadPart);
}

bool File::IsRegular() const { return ::GetFileType(H(m_handle)) == FILE_TYPE_DISK; }

std::optional<size_t> File::Read(void* buffer, size_t size) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(std::min(size - done, kMaxTransfer));
    if (!::ReadFile(H(m_handle), out + done, want, &got, nullptr)) return std::nullopt;
    if (got == 0) break;
    done += got;
  }
  return done;
}

bool File::SeekTo(std::uint64_t offset) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(offset);
  return ::SetFilePointerEx(H(m_handle), to, nullptr, FILE_BEGIN) != 0;
}

bool File::WriteAll(const void* data, size_t size) {
  const auto* in = static_cast<const char*>(data);
  while (size > 0) {
    DWORD put = 0;
    const DWORD want = static_cast<DWORD>(std::min(size, kMaxTransfer));
    if (!::WriteFile(H(m_handle), in, want, &put, nullptr) || put == 0) return false;
    in += put;
    size -= put;
  }
  return true;
}

// Windows has no copy between open handles inside the system; the caller reads and writes.
File::CopyResult File::CopyFrom(File&, std::uint64_t) { return CopyResult::Unsupported; }

bool File::Close() {
  if (m_handle == kInvalid) return true;
  const HANDLE h = H(m_handle);
  m_handle = kInvalid;
  return ::CloseHandle(h) != 0;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  // Asking for no access opens a file whoever holds it, and follows links to their target.
  const auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const ScopedHandle h(::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h.get() != INVALID_HANDLE_VALUE && ::GetFileInformationByHandle(h.get(), &info) != 0;
  };
  BY_HANDLE_FILE_INFORMATION ia{}, ib{};
  if (!identify(a, ia) || !identify(b, ib)) return false;
  return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
         ia.nFileIndexLow == ib.nFileIndexLow;
}

bool RemoveFile(const std::string& path) { return ::DeleteFileW(Wide(path).c_str()) != 0; }

bool MoveReplacing(const std::string& from, const std::string& to) {
  return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

PathKind KindOfPath(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Wide(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Directory;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
  return PathKind::Regular;
}

}  // namespace quorvel
