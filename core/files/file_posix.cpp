// Files and paths on POSIX: file.h and path.h; the error that the replacement's steps ask about.
#include <fcntl.h>
#include <locale.h>
#include <string.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <clocale>
#include <cstring>
#include <utility>

#include "files/path.h"
#include "files/posix.h"
#include "files/replacement_steps.h"

namespace quorvel {
namespace {

thread_local int t_lastError = 0;

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

std::nullopt_t Failed() { return Failed(errno); }

std::nullopt_t Failed(int error) {
  t_lastError = error;
  return std::nullopt;
}

bool replacement::AccessDenied() { return t_lastError == EACCES || t_lastError == EPERM; }
void replacement::DenyAccess() { t_lastError = EACCES; }

// In the language the program set for its messages (LC_MESSAGES), and in UTF-8 as every other word
// the program prints: the C library gives its reasons in the character set of LC_CTYPE, which a
// program that leaves LC_CTYPE alone has as ASCII, every Japanese character a '?'.
std::string LastSystemError() {
  const char* language = std::setlocale(LC_MESSAGES, nullptr);
  locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", nullptr);
  if (!utf8) utf8 = ::newlocale(LC_CTYPE_MASK, "", nullptr);  // a system without C.UTF-8: the user's characters
  const locale_t reasons = utf8 ? ::newlocale(LC_MESSAGES_MASK, language ? language : "C", utf8) : nullptr;
  if (!reasons) {
    if (utf8) ::freelocale(utf8);
    return std::strerror(t_lastError);
  }
  std::string reason = ::strerror_l(t_lastError, reasons);
  ::freelocale(reasons);
  return reason;
}

std::optional<File> File::OpenForReading(const std::string& path) {
  const int fd = Retrying([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
  if (fd < 0) return Failed();
  File file(fd);
  struct stat st{};
  if (::fstat(fd, &st) != 0) return Failed();
  if (S_ISDIR(st.st_mode)) return Failed(EISDIR);
  return file;
}

// POSIX locks are advisory: reading never keeps anyone else out, so both opens are one.
std::optional<File> File::OpenSharedForReading(const std::string& path) { return OpenForReading(path); }

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

std::optional<size_t> File::ReadAt(std::uint64_t offset, void* buffer, size_t size) {
  auto* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < size && offset + done <= std::uint64_t{INT64_MAX}) {
    const auto at = static_cast<off_t>(offset + done);
    const ssize_t n = Retrying([&] { return ::pread(Fd(m_handle), out + done, size - done, at); });
    if (n < 0) return Failed();
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}

std::optional<size_t> File::ReadSome(void* buffer, size_t size) {
  const ssize_t n = Retrying([&] { return ::read(Fd(m_handle), buffer, size); });
  if (n < 0) return Failed();
  return static_cast<size_t>(n);
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
      Failed();
      if (done == 0 && (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)) {
        return CopyResult::Unsupported;
      }
      return (errno == ENOSPC || errno == EFBIG || errno == EDQUOT) ? CopyResult::WriteFailed : CopyResult::ReadFailed;
    }
    if (n == 0) return Failed(EIO), CopyResult::ReadFailed;  // the source ended early
    done += static_cast<std::uint64_t>(n);
    WrittenBack(static_cast<std::uint64_t>(n));
  }
  return CopyResult::Done;
}

namespace {

// Why a file system shares no blocks: its clone requests fail so, and the bytes are written.
bool RefusesClones(int error) {
  return error == EOPNOTSUPP || error == EXDEV || error == EINVAL || error == ENOTTY || error == EPERM ||
         error == ETXTBSY || error == EBADF;
}

// A clone shares this many bytes. The first this many shared are timed, and must go at least this
// many a second: slower, the file system copies them (a network one, on its server), and writing is
// the better way.
constexpr std::uint64_t kSharedPiece = kErasedBlockSize;
constexpr std::uint64_t kTimedBytes = std::uint64_t{64} << 20;
constexpr double kSlowestSharing = double(std::uint64_t{1} << 30);

}  // namespace

void File::ShareErasedRuns() {
  struct statvfs fs{};
  if (::fstatvfs(Fd(m_handle), &fs) != 0) return;
  const std::uint64_t block = fs.f_bsize;
  // A block that a shared piece cannot hold whole, or that is no power of two, is no block to share.
  if (block == 0 || (block & (block - 1)) != 0 || kSharedPiece % block != 0) return;
  m_sharing.emplace();
  m_sharing->blockSize = block;
}

// The run is written up to the file system's next block, and from there shares the file's first
// erased mebibyte (written in full the first time) in pieces of that size; what is left of a block
// at the end is written. Runs too short to share a piece are written whole.
bool File::WriteErased(std::uint64_t count) {
  if (!m_sharing) return WriteFill(count);
  const off_t at = ::lseek(Fd(m_handle), 0, SEEK_CUR);
  if (at < 0) return Failed(), false;
  const std::uint64_t block = m_sharing->blockSize, start = static_cast<std::uint64_t>(at);
  const std::uint64_t head = std::min(count, (block - start % block) % block);
  std::uint64_t middle = (count - head) / block * block;
  if (middle < (m_sharing->source ? kSharedPiece : 2 * kSharedPiece)) return WriteFill(count);
  if (!WriteFill(head)) return false;
  std::uint64_t position = start + head;
  if (!m_sharing->source) {
    if (!WriteFill(kSharedPiece)) return false;
    m_sharing->source = position;
    position += kSharedPiece;
    middle -= kSharedPiece;
  }
  const std::uint64_t tail = count - (position - start) - middle;
  while (middle > 0) {
    const std::uint64_t piece = std::min(middle, kSharedPiece);
    file_clone_range range{Fd(m_handle), *m_sharing->source, piece, position};
    const auto began = std::chrono::steady_clock::now();
    if (Retrying([&] { return ::ioctl(Fd(m_handle), FICLONERANGE, &range); }) != 0) {
      if (!RefusesClones(errno)) return Failed(), false;
      m_sharing.reset();  // this file system shares nothing: the rest of the run, and of the file, is written
      break;
    }
    position += piece;
    middle -= piece;
    if (m_sharing->timedBytes < kTimedBytes) {
      m_sharing->seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
      m_sharing->timedBytes += piece;
      if (m_sharing->timedBytes >= kTimedBytes && m_sharing->seconds * kSlowestSharing > double(m_sharing->timedBytes)) {
        m_sharing.reset();
        break;
      }
    }
  }
  if (::lseek(Fd(m_handle), static_cast<off_t>(position), SEEK_SET) < 0) return Failed(), false;
  return WriteFill(middle + tail);
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

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string FollowLinks(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0) return path;
    target.resize(static_cast<size_t>(n));
    path = target.front() == '/' ? target : FolderOf(path) + "/" + target;
  }
  return path;
}

bool IsFolder(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsPipe(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat sa{}, sb{};
  const bool hasA = ::stat(a.c_str(), &sa) == 0, hasB = ::stat(b.c_str(), &sb) == 0;
  if (hasA && hasB) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  if (hasA || hasB) return false;
  const std::string targetA = FollowLinks(a), targetB = FollowLinks(b);
  const std::string nameA = targetA.substr(targetA.find_last_of('/') + 1);
  const std::string nameB = targetB.substr(targetB.find_last_of('/') + 1);
  return nameA == nameB && !nameA.empty() && IsSameFile(FolderOf(targetA), FolderOf(targetB));
}

bool NamesStandardOutput(const std::string& path) {
  struct stat out{}, named{};
  return ::fstat(STDOUT_FILENO, &out) == 0 && ::stat(path.c_str(), &named) == 0 && out.st_dev == named.st_dev &&
         out.st_ino == named.st_ino;
}

}  // namespace quorvel
