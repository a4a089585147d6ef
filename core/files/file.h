#pragma once
// Files as the core reads and writes them: UTF-8 paths, 64-bit sizes, handles with one owner. One
// header, a POSIX and a Win32 implementation. A failed call leaves the system's reason for
// LastSystemError.

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

// How a file's erased runs are shared, once it was asked to (File::ShareErasedRuns).
struct ErasedSharing {
  std::uint64_t blockSize = 0;
  std::optional<std::uint64_t> source;  // where the file's first erased mebibyte starts, once written
  std::uint64_t timedBytes = 0;         // the first bytes shared, and the seconds they took
  double seconds = 0;
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

  // The size in the stamp is the one the system reports, which for anything but an ordinary file
  // (and for some ordinary files of the system's own) is not the number of bytes that reading gives.
  std::optional<FileStamp> Stamp() const;
  // The stamp, where the system says in advance how many bytes reading gives: an ordinary file that
  // reports a size other than 0. None for a pipe, a device or a file that reports 0 (some of the
  // system's own hold more than they say): those are known only by reading them to their end.
  std::optional<FileStamp> SizedStamp() const;
  // Fills buffer up to size bytes; fewer only at the end of the file; none on an error.
  std::optional<size_t> Read(void* buffer, size_t size);
  // The same from offset on, for a file read more than once (records); the position that Read goes
  // on from stays where it was. Ordinary files only.
  std::optional<size_t> ReadAt(std::uint64_t offset, void* buffer, size_t size);
  // True for an ordinary file on disk; false for a device, pipe or anything else.
  bool IsRegular() const;
  // Up to size bytes, as many as one read of the system gives: a pipe gives what its writer has sent
  // so far. 0 only at the end; none on an error.
  std::optional<size_t> ReadSome(void* buffer, size_t size);
  // All size bytes or false.
  bool WriteAll(const void* data, size_t size);
  // Appends count bytes of erased flash (0xFF) at the file's position; false when they cannot all be
  // written. Shared rather than written once ShareErasedRuns was asked, where the system can.
  bool WriteErased(std::uint64_t count);
  // For a new file written from its start to its end, open for reading too: from here on, erased
  // runs of a mebibyte or more share the blocks of the file's first erased mebibyte rather than being
  // written, where the file system shares blocks between ranges (XFS with reflink, btrfs), so that
  // they cost its bookkeeping only. The first clone decides: a file system that refuses, or that
  // shares slowly (a network one that copies on its server), has the rest written. POSIX only.
  void ShareErasedRuns();
  // Copies count bytes from source's position to this file's, inside the system where it can.
  enum class CopyResult { Done, Unsupported, ReadFailed, WriteFailed };
  CopyResult CopyFrom(File& source, std::uint64_t count);
  // Until the data written is on the disk; true for devices, which keep nothing.
  bool Flush();
  // Closes now; false when the system reports that data may not have been stored.
  bool Close();

 private:
  friend class FileHandle;  // the platform sources of this folder, which open files of other kinds
  explicit File(std::intptr_t handle) : m_handle(handle) {}
  static constexpr std::intptr_t kInvalid = -1;
  // Counts bytes written and, every few tens of MiB, asks the system to start writing them to the
  // disk, so that the flush at the end has little left to wait for (a hint; Windows has none).
  void WrittenBack(std::uint64_t bytes);
  // Writes count bytes of 0xFF, from the erased block.
  bool WriteFill(std::uint64_t count);
  std::intptr_t m_handle = kInvalid;
  std::uint64_t m_notWrittenBack = 0;  // bytes written since the last such request
  std::optional<ErasedSharing> m_sharing;  // once erased runs are to be shared
};

// A block of erased flash (0xFF) to write and hand on from: every region's fill comes from it.
inline constexpr size_t kErasedBlockSize = size_t{1} << 20;
const char* ErasedBlock();

// A whole file read to its end, however large the system says it is (a pipe says 0), shared as the
// layout is; or why not.
struct WholeFile {
  enum class Status { Read, Unreadable, TooLarge };
  Status status = Status::Unreadable;
  std::string bytes;  // empty unless read
};
WholeFile ReadWholeFile(const std::string& path, std::uint64_t maxBytes);

}  // namespace quorvel
