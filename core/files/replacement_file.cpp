#include "files/replacement_file.h"

#include <cstdint>
#include <cstdio>
#include <random>
#include <utility>

#include "files/replacement_steps.h"

namespace quorvel {

namespace replacement {
namespace {

constexpr std::string_view kPrefix = ".quorvel-";
constexpr size_t kDigits = 16, kMarkDigits = 8;

// The mark of a name's random digits: what tells this program's temporary files from files that
// merely look like them.
std::uint32_t Mark(std::string_view digits) {
  std::uint32_t hash = 2166136261u;  // FNV-1a, over the program's name and the digits
  for (const char c : std::string("quorvel temporary ") + std::string(digits)) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

}  // namespace

std::string TemporaryName(std::string_view state) {
  std::random_device random;
  char digits[kDigits + 1];
  std::snprintf(digits, sizeof digits, "%08x%08x", random(), random());
  char mark[kMarkDigits + 1];
  std::snprintf(mark, sizeof mark, "%08x", Mark(digits));
  return std::string(kPrefix) + digits + "-" + mark + std::string(state);
}

bool IsTemporaryName(std::string_view name, std::string_view state) {
  const size_t length = kPrefix.size() + kDigits + 1 + kMarkDigits + state.size();
  if (name.size() != length || !name.starts_with(kPrefix) || !name.ends_with(state) || name[kPrefix.size() + kDigits] != '-') {
    return false;
  }
  char mark[kMarkDigits + 1];
  std::snprintf(mark, sizeof mark, "%08x", Mark(name.substr(kPrefix.size(), kDigits)));
  return name.substr(kPrefix.size() + kDigits + 1, kMarkDigits) == mark;
}

}  // namespace replacement

std::optional<ReplacementFile> ReplacementFile::Open(const std::string& path, bool replacedOnly) {
  const std::optional<replacement::Place> place = replacement::Find(path);
  if (!place) return std::nullopt;
  if (!place->device && !place->inPlace) {
    replacement::RemoveStaleTemporaries(place->target);
    if (std::optional<replacement::Temporary> temporary = replacement::CreateBeside(*place)) {
      const Mode mode = temporary->name.empty() ? Mode::Unnamed : Mode::Named;
      return ReplacementFile(std::move(temporary->file), mode, place->target, std::move(temporary->name));
    }
    // No file can be made in the folder, but the output itself may be written: in place.
    if (!place->exists || !replacement::AccessDenied()) return std::nullopt;
  }
  if (!place->device && replacedOnly) return replacement::DenyAccess(), std::nullopt;
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
  bool committed = m_mode == Mode::Device || m_file.Flush();
  if (committed && m_mode == Mode::InPlace) replacement::Settle(m_file);
  committed = committed && (!replaces || replacement::PutInPlace(m_file, m_temporary, m_target)) && m_file.Close();
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
  if (m_mode == Mode::InPlace) {
    replacement::Truncate(m_file);
    replacement::Settle(m_file);
  }
  m_file.Close();  // a file marked for deletion goes with its handle
  if (!m_temporary.empty()) replacement::RemoveTemporary(m_temporary);
}

bool ReplacementFile::RemoveOld() { return m_mode == Mode::Device || replacement::RemoveOrdinaryFile(m_target); }

}  // namespace quorvel
