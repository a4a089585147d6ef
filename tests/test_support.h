#pragma once
// Helpers shared by the core tests: a private temporary folder, whole-file read and write with
// UTF-8 paths, and a message sink that records what the user would have been shown.

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "image/output_format.h"
#include "text/messages.h"

namespace quorvel::testing {

// The project's tests/data folder.
std::string DataPath(const std::string& relative);

std::filesystem::path FsPath(const std::string& utf8);
std::string Utf8Path(const std::filesystem::path& path);

// A new empty folder, removed with everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // name inside the folder, as a UTF-8 path
  std::string Path(const std::string& name) const;

 private:
  std::filesystem::path m_path;
};

void WriteBytes(const std::string& path, const std::string& bytes);
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);

// n bytes of a repeating pattern that depends on seed, so regions can be told apart.
std::string Pattern(size_t n, unsigned seed);
// n bytes of erased flash.
inline std::string Ff(size_t n) { return std::string(n, '\xFF'); }
// The encoder's records of image at base, erased flash left out.
std::string RecordsOf(OutputFormat format, std::uint64_t base, const std::string& image);

// From now on, every allocation of at least size bytes fails as memory that cannot be had does;
// SIZE_MAX lets every one succeed again.
void RefuseAllocationsFrom(size_t size);

// What the dialog's user sees of a message: its text and its kind.
using ShownMessage = std::pair<std::string, MessageKind>;
ShownMessage Shown(MessageId id, const std::string& region = {});

class RecordingSink final : public MessageSink {
 public:
  void ShowMessage(const Message& message) override {
    messages.push_back(Shown(message.id, message.region));
    details.push_back(message);
  }
  std::vector<ShownMessage> messages;
  std::vector<Message> details;
};

}  // namespace quorvel::testing
