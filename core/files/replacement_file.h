#pragma once
// A new file that takes the place of a path only when it is complete.

#include <optional>
#include <string>

#include "files/file.h"

namespace quorvel {

// The new file is written beside the path and put in its place, and until then it has no name
// (Linux) or is marked for deletion (Windows), so a process that dies leaves nothing behind; where
// the file system has no unnamed files it has a name of ours, which an interrupt or the next run
// removes. A symbolic link at the path is followed: its target gets the new file and keeps its
// permission bits (and owner, where the system allows). Devices such as /dev/null and NUL are
// written directly; a stream the process holds (/dev/stdout, /dev/fd/N) is written where it stands,
// as cat writes it. Where the file cannot be replaced, only written (a writable file in a folder the
// user may not write; on Windows one the user may not delete), the path itself is written, as a
// plain writer would: a failure or an interrupt (Ctrl-C, SIGTERM, SIGHUP) then leaves it empty, never
// a cut image under the output's name.
class ReplacementFile {
 public:
  // None when path cannot be written: a folder, a missing folder, a file the user may not write
  // (permissions, the read-only attribute) or that another program holds without sharing. Files
  // that must take their places together (replacedOnly) refuse to be written in place, as access
  // denied: a later failure would leave such a file emptied.
  static std::optional<ReplacementFile> Open(const std::string& path, bool replacedOnly = false);

  ReplacementFile(ReplacementFile&& other) noexcept;
  ReplacementFile& operator=(ReplacementFile&&) = delete;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  // Discards what was not committed.
  ~ReplacementFile();

  File& Get() { return m_file; }
  // For a raw image: its erased runs may share blocks rather than be written (File::ShareErasedRuns),
  // in the new file only, never in a device or a file written in place.
  void ShareErasedRuns();
  // Puts the data on the disk and the file in its place; false when either fails (nothing of the
  // new file is left then).
  bool Commit();
  // Drops the new file; the old one stays as it was, unless it was being written in place (it is
  // emptied then).
  void Discard();
  // After Discard: removes the ordinary file that stood at the place, so that none stands there, as
  // after a failed plain writer. A device or a stream stays. False when a file still stands there
  // (written in place in a folder the user may not write: emptied).
  bool RemoveOld();
  bool WritesInPlace() const { return m_mode == Mode::InPlace; }

 private:
  enum class Mode { Unnamed, Named, InPlace, Device };
  ReplacementFile(File file, Mode mode, std::string target, std::string temporary);

  File m_file;
  Mode m_mode;
  std::string m_target;     // the file to be replaced: the path, links followed
  std::string m_temporary;  // the new file's name while it has one
  bool m_done = false;
};

#ifndef _WIN32
// The program's handling of signals, installed at its start. A run stopped by Ctrl-C, a hang-up, a
// termination request or a closed pipe first removes its named temporary files and empties a file
// it was writing in place, then ends by the same signal. (Windows removes a file marked for deletion
// however the process ends.) A file-size limit (ulimit -f) fails the write that passes it, as a full
// disk does, rather than killing the program. emptiedNotice gives the line, ended, that tells the
// user a file written in place was emptied; it is made when the file is opened, and written by the
// handler.
void CleanUpOnSignals(std::string (*emptiedNotice)(const std::string& path) = nullptr);
#endif

}  // namespace quorvel
