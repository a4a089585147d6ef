#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <random>
#include <utility>

#include "files/file_access.h"

namespace quorvel {
namespace {

thread_local int t_lastError = 0;

// Keeps errno for LastSystemError; returns nothing, for the callers' failure paths.
std::nullopt_t Failed() {
  t_lastError = errno;
  return std::nullopt;
}

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Where a chain of symbolic links leads, whether or not a file is there; path itself when it is no
// link. A chain too long is left for the open to refuse.
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

// Temporary files are named so: short, whatever the output's name, and recognisable as ours.
constexpr char kTemporaryPrefix[] = ".quorvel-";
constexpr char kTemporarySuffix[] = ".tmp";

std::string TemporaryName() {
  char name[32];
  std::snprintf(name, sizeof name, "%s%08x%s", kTemporaryPrefix, std::random_device{}(), kTemporarySuffix);
  return name;
}

// A run that was killed may have left its temporary file in the folder. A live run holds a lock on
// its own, so only the files of runs that ended are removed.
void RemoveStaleTemporaries(const std::string& folder) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  const size_t prefix = std::strlen(kTemporaryPrefix), suffix = std::strlen(kTemporarySuffix);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name(entry->d_name);
    if (name.size() <= prefix + suffix || name.substr(0, prefix) != kTemporaryPrefix ||
        name.substr(name.size() - suffix) != kTemporarySuffix) {
      continue;
    }
    const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlinkat(::dirfd(dir), entry->d_name, 0);
    }
    ::close(fd);
  }
  ::closedir(dir);
}

// The named temporary file of the run, for the interrupt handler: a fixed buffer, as a signal
// handler may not allocate.
char g_temporary[PATH_MAX] = {};

void RegisterTemporary(const std::string& path) {
  if (path.size() < sizeof g_temporary) std::memcpy(g_temporary, path.c_str(), path.size() + 1);
}
void UnregisterTemporary() { g_temporary[0] = '\0'; }

extern "C" void RemoveTemporaryAndStop(int signal) {
  if (g_temporary[0] != '\0') ::unlink(g_temporary);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Gives a new file the permission bits of the one it replaces, and its owner where allowed; without
// the owner, no set-user or set-group bit.
void KeepModeAndOwner(int fd, const struct stat& old) {
  mode_t mode = old.st_mode & 07777;
  if (::fchown(fd, old.st_uid, old.st_gid) != 0) mode &= ~mode_t(S_ISUID | S_ISGID);
  ::fchmod(fd, mode);
}

// Reading and writing are interrupted by signals the program handles; they start again.
template <class Call>
auto Retrying(Call call) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

// A new file in folder for writing: without a name where the file system allows, else with a short
// name of ours, given back in temporary.
int CreateTemporary(const std::string& folder, std::string& temporary) {
  const char* named = std::getenv("QUORVEL_NAMED_TEMPORARY");
  if (!named || !*named) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = folder + "/" + TemporaryName();
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  temporary.clear();
  return -1;
}

bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return synced;
}

}  // namespace

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
      t_lastError = errno;
      if (done == 0 && (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)) {
        return CopyResult::Unsupported;
      }
      return (errno == ENOSPC || errno == EFBIG || errno == EDQUOT) ? CopyResult::WriteFailed : CopyResult::ReadFailed;
    }
    if (n == 0) {  // the source ended early
      t_lastError = EIO;
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

bool IsFolder(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::optional<ReplacementFile> ReplacementFile::Open(const std::string& path) {
  struct stat old{};
  if (path.empty()) {
    errno = ENOENT;
    return Failed();
  }
  // A device or a pipe (/dev/null, /dev/stdout) is written as it is reached, links and all.
  if (::stat(path.c_str(), &old) == 0 && !S_ISREG(old.st_mode) && !S_ISDIR(old.st_mode)) {
    const int fd = Retrying([&] { return ::open(path.c_str(), O_WRONLY | O_CLOEXEC); });
    if (fd < 0) return Failed();
    return ReplacementFile(File(fd), Mode::Device, path, {});
  }
  const std::string target = FollowLinks(path);
  const bool exists = ::stat(target.c_str(), &old) == 0;
  if (!exists && errno != ENOENT) return Failed();
  if (exists && S_ISDIR(old.st_mode)) {
    errno = EISDIR;
    return Failed();
  }
  if (exists) {
    // A file the user may not write is refused before anything is written.
    const int probe = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) return Failed();
    ::close(probe);
  }
  const std::string folder = FolderOf(target);
  RemoveStaleTemporaries(folder);
  std::string temporary;
  int fd = CreateTemporary(folder, temporary);
  Mode mode = temporary.empty() ? Mode::Unnamed : Mode::Named;
  if (fd < 0 && exists && (errno == EACCES || errno == EPERM)) {
    // No file can be made in the folder, but the output itself may be written: in place.
    mode = Mode::InPlace;
    fd = Retrying([&] { return ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC); });
  }
  if (fd < 0) return Failed();
  if (mode != Mode::InPlace) {
    ::flock(fd, LOCK_EX);  // keeps other runs from taking it for a dead run's
    if (exists) KeepModeAndOwner(fd, old);
  }
  if (mode == Mode::Named) RegisterTemporary(temporary);
  return ReplacementFile(File(fd), mode, target, temporary);
}

namespace {

// Gives the unnamed file a temporary name in its folder (a link cannot replace an existing name);
// the name, or none.
std::optional<std::string> NameUnnamed(int fd, const std::string& folder) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = folder + "/" + TemporaryName();
    RegisterTemporary(name);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return name;
    // Without /proc, the system's own way, which only the privileged may take.
    if (errno == ENOENT && ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return name;
    UnregisterTemporary();
    if (errno != EEXIST) break;
  }
  return Failed();
}

}  // namespace

bool ReplacementFile::PutInPlace() {
  bool ok = m_mode == Mode::Device || m_file.Flush();
  if (ok && m_mode == Mode::Unnamed) {
    const std::optional<std::string> name = NameUnnamed(Fd(m_file.m_handle), FolderOf(m_target));
    ok = name.has_value();
    m_temporary = name.value_or("");
  }
  if (ok && !m_temporary.empty()) {
    ok = ::rename(m_temporary.c_str(), m_target.c_str()) == 0 || (Failed(), false);
    if (ok) m_temporary.clear();
    ok = ok && SyncFolder(FolderOf(m_target));
  }
  ok = ok && m_file.Close();
  UnregisterTemporary();
  return ok;
}

void ReplacementFile::Drop() {
  if (m_mode == Mode::InPlace) ::ftruncate(Fd(m_file.m_handle), 0);
  m_file.Close();
  if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
  UnregisterTemporary();
}

void ReplacementFile::RemoveOld() {
  if (m_mode == Mode::Device) return;
  struct stat st{};
  if (::stat(m_target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(m_target.c_str());
}

void RemoveTemporaryOnInterrupt() {
  struct sigaction action{};
  action.sa_handler = &RemoveTemporaryAndStop;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

}  // namespace quorvel
