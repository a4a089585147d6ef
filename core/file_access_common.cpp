#include "file_access.h"

namespace quorvel {

File::File(File&& other) noexcept : m_handle(other.m_handle) { other.m_handle = kInvalid; }

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    m_handle = other.m_handle;
    other.m_handle = kInvalid;
  }
  return *this;
}

File::~File() { Close(); }

std::optional<std::string> ReadWholeFile(const std::string& path, std::uint64_t maxBytes) {
  std::optional<File> file = File::OpenForReading(path);
  if (!file) return std::nullopt;
  const std::optional<std::uint64_t> size = file->Size();
  if (!size || *size > maxBytes || *size > std::string().max_size()) return std::nullopt;
  std::string bytes(static_cast<size_t>(*size), '\0');
  const std::optional<size_t> got = file->Read(bytes.data(), bytes.size());
  if (!got) return std::nullopt;
  bytes.resize(*got);
  return bytes;
}

}  // namespace quorvel
