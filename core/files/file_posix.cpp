#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "files/posix.h"

namespace quorvel {
namespace {

thread_local int t_lastError = 0;

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

std::nullopt_t Failed() {
  t_lastError = errno;
  return std::nullopt;
}

void FailWith(int error) { t_lastError = error; }

int LastError() { return t_lastError; }

std::string LastSystemError() { return std::strerror(t_lastError); }

std::optional<File> File::OpenForReading(const std::string& path) {
  const int fd = Retrying([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
  if (fd < 0) return Failed();
  File file(fd);
  struct stat st{};
  if (::fstat(fd, &st) != 0) return Failed();
  if (S_ISDIR(st.st_mode)) {
    errno = EISDIR;
    return Failed();
  }
  return file;
}

// POSIX locks are advisory: reading never keeps anyone else out, so both opens are one.
std::optional<File> File::OpenSharedForReading(const std::string& path) { return OpenForReading(path); }

std::optional<std::uint64_t> File::Size() const {
  struct stat st{};
  if (::fstat(Fd(m_handle), &st) != 0) return Failed();
  return static_cast<std::uint64_t>(st.st_size);
}

std::optional<FileStamp> File::Stamp() const {
  struct stat st{};
  if (::fstat(Fd(m_handle), &st) != 0) return Failed();
  constexpr std::int64_t kBillion = 1000000000;
  return FileStamp{static_cast<std::uint64_t>(st.st_size), st.st_mtim.tv_sec * kBillion + st.st_mtim.tv_nsec,
                   st.st_ctim.tv_sec * kBillion + st.st_ctim.tv_nsec};
}

bool File::IsRegular() const {
  struct stat st{};
  return ::fstat(Fd(m_handle), &st) == 0 && S_ISREG(st.st_mode);
}

std::optional<size_t> File::Read(void* buffer, size_t size) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = Retrying([&] { return ::read(Fd(m_handle), out + done, size - done); });
    if (n < 0) return Failed();
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

bool File::WriteAll(const void* data, size_t size) {
  const auto* in = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = Retrying([&] { return ::write(Fd(m_handle), in, size); });
    if (n <= 0) return Failed(), false;
    in += n;
    size -= static_cast<size_t>(n);
    WrittenBack(static_cast<std::uint64_t>(n));
  }
  return true;
}

void File::WrittenBack(std::uint64_t bytes) {
  constexpr std::uint64_t kWriteBackStep = std::uint64_t{32} << 20;
  if ((m_notWrittenBack += bytes) < kWriteBackStep) return;
  m_notWrittenBack = 0;
  ::sync_file_range(Fd(m_handle), 0, 0, SYNC_FILE_RANGE_WRITE);  // a hint: devices and pipes refuse it
}

File::CopyResult File::CopyFrom(File& source, std::uint64_t count) {
  std::uint64_t done = 0;
  while (done < count) {
    // In steps of 32 MiB, each followed by its write-back request.
    const size_t chunk = static_cast<size_t>(std::min<std::uint64_t>(count - done, size_t{32} << 20));
    const ssize_t n =
        Retrying([&] { return ::copy_file_range(Fd(source.m_handle), nullptr, Fd(m_handle), nullptr, chunk, 0); });
    if (n < 0) {
      FailWith(errno);
      if (done == 0 && (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)) {
        return CopyResult::Unsupported;
      }
      return (errno == ENOSPC || errno == EFBIG || errno == EDQUOT) ? CopyResult::WriteFailed : CopyResult::ReadFailed;
    }
    if (n == 0) {  // the source ended early
      FailWith(EIO);
      return CopyResult::ReadFailed;
    }
    done += static_cast<std::uint64_t>(n);
    WrittenBack(static_cast<std::uint64_t>(n));
  }
  return CopyResult::Done;
}

bool File::Flush() {
  if (::fsync(Fd(m_handle)) == 0 || errno == EINVAL || errno == EROFS) return true;  // devices keep nothing
  return Failed(), false;
}

bool File::Close() {
  if (m_handle == kInvalid) return true;
  const int fd = Fd(std::exchange(m_handle, kInvalid));
  if (::close(fd) == 0) return true;
  return Failed(), false;
}

}  // namespace quorvel
