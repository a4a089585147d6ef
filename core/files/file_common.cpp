#include "files/file.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

namespace quorvel {

File::File(File&& other) noexcept
    : m_handle(std::exchange(other.m_handle, kInvalid)),
      m_notWrittenBack(std::exchange(other.m_notWrittenBack, 0)),
      m_sharing(std::exchange(other.m_sharing, std::nullopt)) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    m_handle = std::exchange(other.m_handle, kInvalid);
    m_notWrittenBack = std::exchange(other.m_notWrittenBack, 0);
    m_sharing = std::exchange(other.m_sharing, std::nullopt);
  }
  return *this;
}

File::~File() { Close(); }

bool File::WriteFill(std::uint64_t count) {
  while (count > 0) {
    const size_t piece = static_cast<size_t>(std::min<std::uint64_t>(count, kErasedBlockSize));
    if (!WriteAll(ErasedBlock(), piece)) return false;
    count -= piece;
  }
  return true;
}

const char* ErasedBlock() {
  static const std::unique_ptr<char[]> block = [] {
    std::unique_ptr<char[]> b(new char[kErasedBlockSize]);
    std::memset(b.get(), 0xFF, kErasedBlockSize);
    return b;
  }();
  return block.get();
}

std::optional<FileStamp> File::SizedStamp() const {
  if (!IsRegular()) return std::nullopt;
  const std::optional<FileStamp> stamp = Stamp();
  if (!stamp || stamp->size == 0) return std::nullopt;
  return stamp;
}

WholeFile ReadWholeFile(const std::string& path, std::uint64_t maxBytes) {
  WholeFile whole;
  std::optional<File> file = File::OpenSharedForReading(path);
  if (!file) return whole;
  // The reported size only reserves room: pipes report 0 and some system files a page.
  const std::optional<FileStamp> reported = file->SizedStamp();
  whole.bytes.reserve(static_cast<size_t>(std::min<std::uint64_t>(reported ? reported->size : 0, maxBytes) + 1));
  constexpr size_t kPiece = size_t{1} << 20;
  for (;;) {
    const size_t have = whole.bytes.size();
    if (have > maxBytes) {
      whole.bytes = {};
      whole.status = WholeFile::Status::TooLarge;
      return whole;
    }
    // Into the room reserved first; more only for a file that holds more than it said.
    const size_t room = whole.bytes.capacity() > have ? whole.bytes.capacity() - have : kPiece;
    whole.bytes.resize(have + room);
    const std::optional<size_t> got = file->Read(whole.bytes.data() + have, room);
    if (!got) {
      whole.bytes = {};
      return whole;
    }
    whole.bytes.resize(have + *got);
    if (*got == 0) break;
  }
  whole.status = WholeFile::Status::Read;
  return whole;
}

}  // namespace quorvel
