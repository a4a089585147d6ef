#include "files/replacement_file.h"

#include <utility>

#include "files/replacement_steps.h"

namespace quorvel {

std::optional<ReplacementFile> ReplacementFile::Open(const std::string& path) {
  const std::optional<replacement::Place> place = replacement::Find(path);
  if (!place) return std::nullopt;
  if (!place->device) {
    replacement::RemoveStaleTemporaries(place->target);
    if (std::optional<replacement::Temporary> temporary = replacement::CreateBeside(*place)) {
      const Mode mode = temporary->name.empty() ? Mode::Unnamed : Mode::Named;
      return ReplacementFile(std::move(temporary->file), mode, place->target, std::move(temporary->name));
    }
    // No file can be made in the folder, but the output itself may be written: in place.
    if (!place->exists || !replacement::AccessDenied()) return std::nullopt;
  }
  std::optional<File> direct = replacement::OpenTarget(*place);
  if (!direct) return std::nullopt;
  return ReplacementFile(std::move(*direct), place->device ? Mode::Device : Mode::InPlace, place->target, {});
}

ReplacementFile::ReplacementFile(File file, Mode mode, std::string target, std::string temporary)
    : m_file(std::move(file)), m_mode(mode), m_target(std::move(target)), m_temporary(std::move(temporary)) {}

ReplacementFile::ReplacementFile(ReplacementFile&& other) noexcept
    : m_file(std::move(other.m_file)),
      m_mode(other.m_mode),
      m_target(std::move(other.m_target)),
      m_temporary(std::move(other.m_temporary)),
      m_done(std::exchange(other.m_done, true)) {}

ReplacementFile::~ReplacementFile() { Discard(); }

bool ReplacementFile::Commit() {
  if (m_done) return false;
  const bool replaces = m_mode == Mode::Unnamed || m_mode == Mode::Named;
  const bool committed = (m_mode == Mode::Device || m_file.Flush()) &&
                         (!replaces || replacement::PutInPlace(m_file, m_temporary, m_target)) && m_file.Close();
  if (!committed) Discard();
  m_done = true;
  return committed;
}

void ReplacementFile::ShareErasedRuns() {
  if (m_mode == Mode::Unnamed || m_mode == Mode::Named) m_file.ShareErasedRuns();
}

void ReplacementFile::Discard() {
  if (m_done) return;
  m_done = true;
  if (m_mode == Mode::InPlace) replacement::Truncate(m_file);
  m_file.Close();  // a file marked for deletion goes with its handle
  if (!m_temporary.empty()) replacement::RemoveTemporary(m_temporary);
}

void ReplacementFile::RemoveOld() {
  if (m_mode != Mode::Device) replacement::RemoveOrdinaryFile(m_target);
}

}  // namespace quorvel
