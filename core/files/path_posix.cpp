#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "files/path.h"
#include "files/posix.h"

namespace quorvel {

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

}  // namespace quorvel
