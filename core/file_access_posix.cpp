#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "file_access.h"

namespace quorvel {
namespace {

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

std::optional<File> File::OpenForReading(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  File file(fd);
  struct stat st{};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
  return file;
}

std::optional<File> File::CreateForWriting(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return std::nullopt;
  return File(fd);
}

std::optional<File> File::CreateNew(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return std::nullopt;
  return File(fd);
}

std::optional<std::uint64_t> File::Size() const {
  struct stat st{};
  if (::fstat(Fd(m_handle), &st) != 0) return std::nullopt;
  return static_cast<std::uint64_t>(st.st_size);
}

bool File::IsRegular() const {
  struct stat st{};
  return ::fstat(Fd(m_handle), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<size_t> File::Read(void* buffer, size_t size) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(Fd(m_handle), out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

bool File::SeekTo(std::uint64_t offset) {
  return ::lseek(Fd(m_handle), static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(offset);
}

bool File::WriteAll(const void* data, size_t size) {
  const auto* in = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(Fd(m_handle), in, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    in += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

File::CopyResult File::CopyFrom(File& source, std::uint64_t count) {
  std::uint64_t done = 0;
  while (done < count) {
    const size_t chunk = static_cast<size_t>(std::min<std::uint64_t>(count - done, size_t{1} << 30));
    const ssize_t n = ::copy_file_range(Fd(source.m_handle), nullptr, Fd(m_handle), nullptr, chunk, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (done == 0 && (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)) {
        return CopyResult::Unsupported;
      }
      return (errno == ENOSPC || errno == EFBIG || errno == EDQUOT) ? CopyResult::WriteFailed : CopyResult::ReadFailed;
    }
    if (n == 0) return CopyResult::ReadFailed;  // the source ended early
    done += static_cast<std::uint64_t>(n);
  }
  return CopyResult::Done;
}

bool File::Close() {
  if (m_handle == kInvalid) return true;
  const int fd = Fd(m_handle);
  m_handle = kInvalid;
  return ::close(fd) == 0;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa{}, sb{};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool MoveReplacing(const std::string& from, const std::string& to) { return ::rename(from.c_str(), to.c_str()) == 0; }

PathKind KindOfPath(const std::string& path) {
  struct stat st{};
  if (::stat(path.c_str(), &st) != 0) return PathKind::Missing;
  if (S_ISREG(st.st_mode)) return PathKind::Regular;
  if (S_ISDIR(st.st_mode)) return PathKind::Directory;
  return PathKind::Other;
}

}  // namespace quorvel
