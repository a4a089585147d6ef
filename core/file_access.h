#pragma once
// Files as the core uses them: UTF-8 paths, 64-bit sizes, handles with one owner, no sharing.
// One header, a POSIX and a Win32 implementation.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

class File {
 public:
  // An existing file, for reading, shared with no one.
  static std::optional<File> OpenForReading(const std::string& path);
  // For writing, shared with no one: created when missing, emptied when it exists.
  static std::optional<File> CreateForWriting(const std::string& path);
  // A new file for writing, shared with no one; none when the path exists already.
  static std::optional<File> CreateNew(const std::string& path);

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  std::optional<std::uint64_t> Size() const;
  // True for an ordinary file on disk, false for a device, pipe or anything else.
  bool IsRegular() const;
  // Fills buffer up to size bytes; fewer only at the end of the file; none on an error.
  std::optional<size_t> Read(void* buffer, size_t size);
  // Moves to the byte at offset from the start, for the next Read or Write.
  bool SeekTo(std::uint64_t offset);
  // All size bytes or false.
  bool WriteAll(const void* data, size_t size);
  // Copies count bytes from source's position to this file's, inside the system where it can.
  enum class CopyResult { Done, Unsupported, ReadFailed, WriteFailed };
  CopyResult CopyFrom(File& source, std::uint64_t count);
  // Closes now; false when the system reports that data may not have been stored.
  bool Close();

 private:
  explicit File(std::intptr_t handle) : m_handle(handle) {}
  static constexpr std::intptr_t kInvalid = -1;
  std::intptr_t m_handle = kInvalid;
};

// The whole file, or none when it cannot be opened or read or is larger than maxBytes.
std::optional<std::string> ReadWholeFile(const std::string& path, std::uint64_t maxBytes = UINT64_MAX);

// True when both paths exist and name one file (another spelling, a hard or a symbolic link).
bool IsSameFile(const std::string& a, const std::string& b);

bool RemoveFile(const std::string& path);

// Puts the file from in the place of to, replacing whatever file was there, in one step: anyone
// who opens to sees the old file or the new one, never a part of either.
bool MoveReplacing(const std::string& from, const std::string& to);

enum class PathKind { Missing, Regular, Directory, Other };
// What the path names now, following links.
PathKind KindOfPath(const std::string& path);

}  // namespace quorvel
