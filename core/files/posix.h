#pragma once
// Inside this folder: what its POSIX sources share.

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>

#include "files/file.h"

namespace quorvel {

// The descriptor of a File, and a File that owns a descriptor.
class FileHandle {
 public:
  static int Of(const File& file) { return static_cast<int>(file.m_handle); }
  static File Adopt(int fd) { return File(fd); }
};

// Keeps errno, or the error given, for LastSystemError; returns nothing, for the callers' failure paths.
std::nullopt_t Failed();
std::nullopt_t Failed(int error);

// Reading and writing are interrupted by signals the program handles; they start again.
template <class Call>
auto Retrying(Call call) {
  for (;;) {
    const auto result = call();
    if (result >= 0 || errno != EINTR) return result;
  }
}

std::string FolderOf(const std::string& path);

// Where a chain of symbolic links leads, whether or not a file is there; path itself when it is no
// link. A chain too long is left for the open to refuse.
std::string FollowLinks(std::string path);

}  // namespace quorvel
