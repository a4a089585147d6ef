#pragma once
// Files as the core uses them: UTF-8 paths, 64-bit sizes, handles with one owner. One header, a
// POSIX and a Win32 implementation. A failed call leaves the system's reason for LastSystemError.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace quorvel {

// The system's words for why the last failed call of this file layer failed ("Permission denied").
std::string LastSystemError();

// What the system says of a file at one moment: a file whose stamp changed was written meanwhile.
struct FileStamp {
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // the finest units the system gives
  std::int64_t changed = 0;   // status change (POSIX) or last write (Windows)
  bool operator==(const FileStamp&) const = default;
};

class File {
 public:
  // An existing file, for reading, shared with no one while it is held: an image file.
  static std::optional<File> OpenForReading(const std::string& path);
  // An existing file, for reading, shared for reading and writing, as the system's profile-string
  // function opens it: a layout file that an editor holds open still reads.
  static std::optional<File> OpenSharedForReading(const std::string& path);

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  // The size the system reports, which for anything but an ordinary file (and for some ordinary
  // files of the system's own) is not the number of bytes that reading gives.
  std::optional<std::uint64_t> Size() const;
  std::optional<FileStamp> Stamp() const;
  // True for an ordinary file on disk; false for a device, pipe or anything else.
  bool IsRegular() const;
  // Fills buffer up to size bytes; fewer only at the end of the file; none on an error.
  std::optional<size_t> Read(void* buffer, size_t size);
  // All size bytes or false.
  bool WriteAll(const void* data, size_t size);
  // Copies count bytes from source's position to this file's, inside the system where it can.
  enum class CopyResult { Done, Unsupported, ReadFailed, WriteFailed };
  CopyResult CopyFrom(File& source, std::uint64_t count);
  // Until the data written is on the disk; true for devices, which keep nothing.
  bool Flush();
  // Closes now; false when the system reports that data may not have been stored.
  bool Close();

 private:
  friend class ReplacementFile;
  explicit File(std::intptr_t handle) : m_handle(handle) {}
  static constexpr std::intptr_t kInvalid = -1;
  // Counts bytes written and, every few tens of MiB, asks the system to start writing them to the
  // disk, so that the flush at the end has little left to wait for (a hint; Windows has none).
  void WrittenBack(std::uint64_t bytes);
  std::intptr_t m_handle = kInvalid;
  std::uint64_t m_notWrittenBack = 0;  // bytes written since the last such request
};

// A whole file read to its end, however large the system says it is (a pipe says 0), shared as the
// layout is; or why not.
struct WholeFile {
  enum class Status { Read, Unreadable, TooLarge };
  Status status = Status::Unreadable;
  std::string bytes;  // empty unless read
};
WholeFile ReadWholeFile(const std::string& path, std::uint64_t maxBytes);

// True when a and b name one file: another spelling, letter case where the system ignores it, a
// short name, a hard or a symbolic link. Two names of which neither exists yet are one file when
// they name the same entry of the same folder.
bool IsSameFile(const std::string& a, const std::string& b);

// Whether path names a folder (links followed).
bool IsFolder(const std::string& path);

// A new file that takes the place of path only when complete. It is written beside path and
// renamed over it, and until then it has no name (Linux) or is marked for deletion (Windows), so a
// process that dies leaves nothing behind. A symbolic link at path is followed: its target gets the
// new file and keeps its permission bits (and owner, where the system allows). Devices such as
// /dev/null and NUL are written directly. Where no file can be made beside path (a writable file in
// a folder the user may not write), path itself is written, as a plain writer would.
class ReplacementFile {
 public:
  // None when path cannot be written: a folder, a missing folder, a file the user may not write
  // (permissions, the read-only attribute) or that another program holds without sharing.
  static std::optional<ReplacementFile> Open(const std::string& path);

  ReplacementFile(ReplacementFile&& other) noexcept;
  ReplacementFile& operator=(ReplacementFile&&) = delete;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  // Discards what was not committed.
  ~ReplacementFile();

  File& Get() { return m_file; }
  // Puts the data on the disk and the file in its place; false when either fails (nothing of the
  // new file is left then).
  bool Commit();
  // Drops the new file; the old one stays as it was, unless it was being written in place (it is
  // emptied then).
  void Discard();
  // After Discard: removes the ordinary file that stood at the place, so that none stands there, as
  // after a failed plain writer. A device stays.
  void RemoveOld();

 private:
  enum class Mode { Unnamed, Named, InPlace, Device };
  ReplacementFile(File file, Mode mode, std::string target, std::string temporary);
  // The system's part of Commit and Discard.
  bool PutInPlace();
  void Drop();

  File m_file;
  Mode m_mode;
  std::string m_target;     // the file to be replaced: path, links followed
  std::string m_temporary;  // the new file's name while it has one
  bool m_done = false;
};

// A run stopped by Ctrl-C, a hang-up or a termination request removes its temporary file first.
// POSIX only: elsewhere the system removes it anyway.
void RemoveTemporaryOnInterrupt();

#ifdef _WIN32
// The form in which a path reaches the system: full, resolved ("..", ".", "/"), and prefixed with
// \\?\ (\\?\UNC\ for a network path) so that no length limit applies. Devices (\\.\NUL) stay as
// they are.
std::wstring SystemPath(const std::string& path);
#endif

}  // namespace quorvel
