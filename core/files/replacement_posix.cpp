#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "files/posix.h"
#include "files/replacement_file.h"
#include "files/replacement_steps.h"

namespace quorvel {
namespace {

// The named temporary file of the run, for the interrupt handler: a fixed buffer, as a signal
// handler may not allocate. One at a time.
char g_temporary[PATH_MAX] = {};

extern "C" void RemoveTemporaryAndStop(int signal) {
  if (g_temporary[0] != '\0') ::unlink(g_temporary);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

void RemoveOnInterrupt(const std::string& path) {
  if (path.size() < sizeof g_temporary) std::memcpy(g_temporary, path.c_str(), path.size() + 1);
}

void ForgetOnInterrupt() { g_temporary[0] = '\0'; }

}  // namespace

void RemoveTemporaryOnInterrupt() {
  struct sigaction action{};
  action.sa_handler = &RemoveTemporaryAndStop;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

}  // namespace quorvel

namespace quorvel::replacement {
namespace {

// Temporary files are named so: short, whatever the output's name, and recognisable as ours.
constexpr char kTemporaryPrefix[] = ".quorvel-";
constexpr char kTemporarySuffix[] = ".tmp";

std::string TemporaryName(const std::string& folder) {
  char name[32];
  std::snprintf(name, sizeof name, "%s%08x%s", kTemporaryPrefix, std::random_device{}(), kTemporarySuffix);
  return folder + "/" + name;
}

// Gives a new file the permission bits of the one it replaces, and its owner where allowed; without
// the owner, no set-user or set-group bit.
void KeepModeAndOwner(int fd, const std::string& target) {
  struct stat old{};
  if (::stat(target.c_str(), &old) != 0) return;
  mode_t mode = old.st_mode & 07777;
  if (::fchown(fd, old.st_uid, old.st_gid) != 0) mode &= ~mode_t(S_ISUID | S_ISGID);
  ::fchmod(fd, mode);
}

// A new file in folder for writing, and for reading (the file's erased runs may share blocks with its
// own): without a name where the file system allows, else with a short name of ours, given back in
// temporary.
int CreateTemporary(const std::string& folder, std::string& temporary) {
  const char* named = std::getenv("QUORVEL_NAMED_TEMPORARY");
  if (!named || !*named) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = TemporaryName(folder);
    const int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    if (errno != EEXIST) break;
  }
  temporary.clear();
  return -1;
}

// Gives the unnamed file a temporary name in its folder (a link cannot replace an existing name);
// the name, or none.
std::optional<std::string> NameUnnamed(int fd, const std::string& folder) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TemporaryName(folder);
    RemoveOnInterrupt(name);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return name;
    // Without /proc, the system's own way, which only the privileged may take.
    if (errno == ENOENT && ::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return name;
    ForgetOnInterrupt();
    if (errno != EEXIST) break;
  }
  return Failed();
}

bool SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return synced;
}

}  // namespace

std::optional<Place> Find(const std::string& path) {
  if (path.empty()) return Failed(ENOENT);
  struct stat st{};
  // A device or a pipe (/dev/null, /dev/stdout) is written as it is reached, links and all.
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) return Place{path, true, true};
  Place place{FollowLinks(path)};
  place.exists = ::stat(place.target.c_str(), &st) == 0;
  if (!place.exists && errno != ENOENT) return Failed();
  if (place.exists && S_ISDIR(st.st_mode)) return Failed(EISDIR);
  if (place.exists) {
    // A file the user may not write is refused before anything is written.
    const int probe = ::open(place.target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (probe < 0) return Failed();
    ::close(probe);
  }
  return place;
}

// A live run holds a lock on its own temporary file, so only the files of runs that ended go.
void RemoveStaleTemporaries(const std::string& target) {
  DIR* dir = ::opendir(FolderOf(target).c_str());
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

std::optional<Temporary> CreateBeside(const Place& place) {
  std::string name;
  const int fd = CreateTemporary(FolderOf(place.target), name);
  if (fd < 0) return Failed();
  ::flock(fd, LOCK_EX);  // keeps other runs from taking it for a dead run's
  if (place.exists) KeepModeAndOwner(fd, place.target);
  if (!name.empty()) RemoveOnInterrupt(name);
  return Temporary{FileHandle::Adopt(fd), name};
}

std::optional<File> OpenTarget(const Place& place) {
  const int flags = O_WRONLY | O_CLOEXEC | (place.device ? 0 : O_TRUNC);
  const int fd = Retrying([&] { return ::open(place.target.c_str(), flags); });
  if (fd < 0) return Failed();
  return FileHandle::Adopt(fd);
}

bool PutInPlace(File& file, std::string& temporary, const std::string& target) {
  if (temporary.empty()) {
    const std::optional<std::string> name = NameUnnamed(FileHandle::Of(file), FolderOf(target));
    if (!name) return false;
    temporary = *name;
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) return Failed(), false;
  temporary.clear();
  ForgetOnInterrupt();
  return SyncFolder(FolderOf(target));
}

void Truncate(File& file) { ::ftruncate(FileHandle::Of(file), 0); }

void RemoveTemporary(const std::string& name) {
  ::unlink(name.c_str());
  ForgetOnInterrupt();
}

void RemoveOrdinaryFile(const std::string& target) {
  struct stat st{};
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(target.c_str());
}

}  // namespace quorvel::replacement
