#pragma once
// Inside this folder: the system's steps of a replacement file, one implementation for POSIX and one
// for Windows. replacement_file.cpp takes them in order: find the place, make the new file beside
// it, write, flush, put it in place, or discard it.

#include <optional>
#include <string>
#include <string_view>

#include "files/file.h"

namespace quorvel::replacement {

// Where the new file goes: path with links followed (in the system's form on Windows).
struct Place {
  std::string target;
  bool exists = false;
  bool device = false;   // written as it is, never replaced
  bool inPlace = false;  // a file the user may write but not replace: written in place
  int descriptor = -1;   // a stream this process holds open (/dev/stdout): written where it stands
};
// None, the reason kept, when nothing may be written there: a folder, or a file the user may not
// write or that another program holds.
std::optional<Place> Find(const std::string& path);

// The names of temporary files: ".quorvel-", random digits, a mark that only this program gives
// those digits, and the state: ".new" while one is being made, ".tmp" once its run holds it. A file
// without the mark is the user's, whatever it is called.
inline constexpr std::string_view kMaking = ".new";
inline constexpr std::string_view kHeld = ".tmp";
std::string TemporaryName(std::string_view state);
bool IsTemporaryName(std::string_view name, std::string_view state);

// The temporary files that runs which ended (killed) left in the target's folder go; those of
// living runs, and files that merely have such names, stay.
void RemoveStaleTemporaries(const std::string& target);

// A new file in the target's folder that takes the target's permissions: unnamed where the system
// allows (name empty), else with a name of ours that interrupts remove, held against the removal of
// stale ones from before its name can be seen; on Windows marked for deletion until it is put in
// place.
struct Temporary {
  File file;
  std::string name;
};
std::optional<Temporary> CreateBeside(const Place& place);
// Whether the last failure was the system refusing access: no file may be made in the folder.
bool AccessDenied();
// Makes the system's refusal of access the last failure's reason.
void DenyAccess();
// The target itself, to be written directly: a device or a held stream as it is, a file emptied
// (and, until it is settled, emptied again by an interrupt).
std::optional<File> OpenTarget(const Place& place);
// A file written in place is complete, or emptied: an interrupt leaves it as it is from now on.
void Settle(File& file);

// After the flush: the new file takes the target's name; an unnamed one gets a temporary name first.
// temporary is empty once the file stands at the target.
bool PutInPlace(File& file, std::string& temporary, const std::string& target);
void Truncate(File& file);
void RemoveTemporary(const std::string& name);
// Removes the target when it is an ordinary file; false when one still stands there.
bool RemoveOrdinaryFile(const std::string& target);

}  // namespace quorvel::replacement
