#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "files/posix.h"
#include "files/replacement_file.h"
#include "files/replacement_steps.h"

namespace quorvel {
namespace {

// What an interrupted run must undo, for the signal handler: a fixed table, as a handler may
// neither allocate nor lock. A slot is filled before it is marked as used; the marks are lock-free
// atomics, which the handler may read on any thread.
struct Undo {
  enum State { kFree, kFilling, kRemove, kEmpty };
  std::atomic<int> state{kFree};
  std::atomic<int> fd{-1};  // a file written in place, to be emptied
  // A named temporary file, to be removed; for a file written in place, the line that tells the
  // user it was emptied.
  char text[PATH_MAX] = {};
};
// Every region's file at once (twelve region names, when regions are taken out of an image), the
// map's, and one more being named.
Undo g_undo[16];
std::string (*g_emptiedNotice)(const std::string& path) = nullptr;

extern "C" void UndoAndStop(int signal) {
  for (Undo& undo : g_undo) {
    const int state = undo.state.load();
    if (state == Undo::kRemove) ::unlink(undo.text);
    if (state == Undo::kEmpty && ::ftruncate(undo.fd.load(), 0) == 0) (void)!::write(STDERR_FILENO, undo.text, std::strlen(undo.text));
  }
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

// Takes a free slot and fills it; nothing when the table is full or the name too long, which only a
// program that holds more files than this one could make.
void Remember(Undo::State what, const std::string& text, int fd) {
  if (text.size() >= PATH_MAX) return;
  for (Undo& undo : g_undo) {
    int free = Undo::kFree;
    if (!undo.state.compare_exchange_strong(free, Undo::kFilling)) continue;
    std::memcpy(undo.text, text.c_str(), text.size() + 1);
    undo.fd.store(fd);
    undo.state.store(what);
    return;
  }
}

void RemoveOnInterrupt(const std::string& path) { Remember(Undo::kRemove, path, -1); }
void EmptyOnInterrupt(int fd, const std::string& path) {
  const std::string notice = g_emptiedNotice ? g_emptiedNotice(path) : std::string();
  Remember(Undo::kEmpty, notice.size() < PATH_MAX ? notice : std::string(), fd);
}

void Forget(const std::string& path, int fd) {
  for (Undo& undo : g_undo) {
    const int state = undo.state.load();
    if ((state == Undo::kRemove && path == undo.text) || (state == Undo::kEmpty && fd == undo.fd.load())) {
      undo.state.store(Undo::kFree);
    }
  }
}

}  // namespace

void CleanUpOnSignals(std::string (*emptiedNotice)(const std::string& path)) {
  g_emptiedNotice = emptiedNotice;
  struct sigaction action{};
  action.sa_handler = &UndoAndStop;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) ::sigaction(signal, &action, nullptr);
  std::signal(SIGXFSZ, SIG_IGN);  // the write past the limit then fails with EFBIG
}

}  // namespace quorvel

namespace quorvel::replacement {
namespace {

// A run keeps a file under the name of one being made for a moment only: one older than this was
// left by a run that died then.
constexpr std::time_t kMakingAtMost = 3600;

// Gives a new file the permission bits of the one it replaces, and its owner where allowed; without
// the owner, no set-user or set-group bit.
void KeepModeAndOwner(int fd, const std::string& target) {
  struct stat old{};
  if (::stat(target.c_str(), &old) != 0) return;
  mode_t mode = old.st_mode & 07777;
  if (::fchown(fd, old.st_uid, old.st_gid) != 0) mode &= ~mode_t(S_ISUID | S_ISGID);
  ::fchmod(fd, mode);
}

// A named file in folder, held by this run before its name is one that a sweep of stale files
// takes: it is made under the name of one being made, locked, then renamed.
int CreateNamed(const std::string& folder, std::string& temporary) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = TemporaryName(kMaking);
    const std::string making = folder + "/" + name, held = making.substr(0, making.size() - kMaking.size()) + std::string(kHeld);
    RemoveOnInterrupt(making);
    const int fd = ::open(making.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      Forget(making, -1);
      if (errno == EEXIST) continue;
      return -1;
    }
    RemoveOnInterrupt(held);
    if (::flock(fd, LOCK_EX) != 0 || ::rename(making.c_str(), held.c_str()) != 0) {
      const int error = errno;
      ::unlink(making.c_str());
      ::close(fd);
      Forget(making, -1);
      Forget(held, -1);
      errno = error;
      return -1;
    }
    Forget(making, -1);
    temporary = held;
    return fd;
  }
  return -1;
}

// A new file in folder for writing, and for reading (the file's erased runs may share blocks with its
// own): without a name where the file system allows and /proc can name it later, else with a short
// name of ours, given back in temporary.
int CreateTemporary(const std::string& folder, std::string& temporary) {
  const char* named = std::getenv("QUORVEL_NAMED_TEMPORARY");
  if ((!named || std::strcmp(named, "1") != 0) && ::access("/proc/self/fd", X_OK) == 0) {
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd >= 0) ::flock(fd, LOCK_EX);  // before it has a name
    if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  }
  return CreateNamed(folder, temporary);
}

// Gives the unnamed file a temporary name in its folder (a link cannot replace an existing name);
// the name, or none.
std::optional<std::string> NameUnnamed(int fd, const std::string& folder) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = folder + "/" + TemporaryName(kHeld);
    RemoveOnInterrupt(name);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return name;
    const int error = errno;
    Forget(name, -1);
    if (error != EEXIST) return Failed(error);
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

// The descriptor of this process that path names (/dev/stdout, /dev/fd/N, /proc/self/fd/N, and links
// to them), found by where the folder of each link in the chain resolves to; none for other paths.
std::optional<int> DescriptorNamed(std::string path) {
  const std::string own = "/proc/" + std::to_string(::getpid());
  for (int hop = 0; hop < 40; ++hop) {
    char folder[PATH_MAX];
    if (::realpath(FolderOf(path).c_str(), folder)) {
      const std::string_view resolved(folder);
      if (resolved == own + "/fd" || (resolved.starts_with(own + "/task/") && resolved.ends_with("/fd"))) {
        const std::string_view name = std::string_view(path).substr(path.find_last_of('/') + 1);
        int fd = -1;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), fd);
        return error == std::errc() && end == name.data() + name.size() ? std::optional(fd) : std::nullopt;
      }
    }
    struct stat st{};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return std::nullopt;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0) return std::nullopt;
    target.resize(static_cast<size_t>(n));
    path = target.front() == '/' ? target : FolderOf(path) + "/" + target;
  }
  return std::nullopt;
}

}  // namespace

std::optional<Place> Find(const std::string& path) {
  if (path.empty()) return Failed(ENOENT);
  if (const std::optional<int> fd = DescriptorNamed(path)) {
    const int flags = ::fcntl(*fd, F_GETFL);
    if (flags < 0) return Failed();
    if ((flags & O_ACCMODE) == O_RDONLY) return Failed(EBADF);
    return Place{path, true, true, false, *fd};
  }
  struct stat st{};
  // A device or a pipe (/dev/null) is written as it is reached, links and all.
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

// A live run holds a lock on its own temporary file from before the file has a name that this sweep
// takes, so only the files of runs that ended go; and only files that carry this program's mark.
void RemoveStaleTemporaries(const std::string& target) {
  DIR* dir = ::opendir(FolderOf(target).c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const bool held = IsTemporaryName(entry->d_name, kHeld), making = IsTemporaryName(entry->d_name, kMaking);
    if (!held && !making) continue;
    const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && (held || std::time(nullptr) - st.st_mtime > kMakingAtMost) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
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
  if (place.exists) KeepModeAndOwner(fd, place.target);
  return Temporary{FileHandle::Adopt(fd), name};
}

std::optional<File> OpenTarget(const Place& place) {
  if (place.descriptor >= 0) {
    const int fd = ::fcntl(place.descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return Failed();
    return FileHandle::Adopt(fd);
  }
  const int flags = O_WRONLY | O_CLOEXEC | (place.device ? 0 : O_TRUNC);
  const int fd = Retrying([&] { return ::open(place.target.c_str(), flags); });
  if (fd < 0) return Failed();
  if (!place.device) EmptyOnInterrupt(fd, place.target);
  return FileHandle::Adopt(fd);
}

void Settle(File& file) { Forget({}, FileHandle::Of(file)); }

bool PutInPlace(File& file, std::string& temporary, const std::string& target) {
  if (temporary.empty()) {
    const std::optional<std::string> name = NameUnnamed(FileHandle::Of(file), FolderOf(target));
    if (!name) return false;
    temporary = *name;
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) return Failed(), false;
  Forget(temporary, -1);
  temporary.clear();
  return SyncFolder(FolderOf(target));
}

void Truncate(File& file) { (void)::ftruncate(FileHandle::Of(file), 0); }

void RemoveTemporary(const std::string& name) {
  ::unlink(name.c_str());
  Forget(name, -1);
}

bool RemoveOrdinaryFile(const std::string& target) {
  struct stat st{};
  return ::stat(target.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || ::unlink(target.c_str()) == 0;
}

}  // namespace quorvel::replacement
