#include "image_writer.h"

#include <algorithm>
#include <memory>
#include <new>
#include <random>

#include "file_access.h"
#include "hex.h"
#include "region_bytes.h"

namespace quorvel {
namespace {

// Observes nothing, so the writer never has to ask whether there is an observer.
WriteObserver& NoObserver() {
  static WriteObserver none;
  return none;
}

// The file being written: a temporary file beside the output, put in its place by Commit; or the
// output itself when that is a device or another file that cannot be replaced.
class OutputFile {
 public:
  explicit OutputFile(const std::string& path) : m_path(path) {}
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Discard(); }

  bool Open() {
    switch (KindOfPath(m_path)) {
      case PathKind::Directory:
        return false;
      case PathKind::Other:
        m_file = File::CreateForWriting(m_path);
        return m_file.has_value();
      case PathKind::Missing:
      case PathKind::Regular:
        for (int attempt = 0; attempt < 100 && !m_file; ++attempt) {
          m_temporary = TemporaryName();
          m_file = File::CreateNew(m_temporary);
        }
        if (!m_file) m_temporary.clear();
        return m_file.has_value();
    }
    return false;
  }

  File& Get() { return *m_file; }

  bool Commit() {
    const bool closed = m_file->Close();
    if (!closed || (!m_temporary.empty() && !MoveReplacing(m_temporary, m_path))) return false;
    m_temporary.clear();
    m_file.reset();
    return true;
  }

  // Closes and deletes what was written; a regular file that stood at the output goes with it.
  void Discard() {
    if (!m_file) return;
    m_file->Close();
    m_file.reset();
    if (m_temporary.empty()) return;
    RemoveFile(m_temporary);
    m_temporary.clear();
    if (KindOfPath(m_path) == PathKind::Regular) RemoveFile(m_path);
  }

 private:
  // ".<name>.<random number>.quorvel-tmp" in the output's folder; CreateNew refuses a name in use.
  std::string TemporaryName() const {
    const size_t slash = m_path.find_last_of("/\\");
    const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
    return m_path.substr(0, nameAt) + "." + m_path.substr(nameAt) + "." + std::to_string(std::random_device{}()) +
           ".quorvel-tmp";
  }

  std::string m_path;
  std::string m_temporary;  // empty when writing to the output itself
  std::optional<File> m_file;
};

// One generation: the output file, the stream buffer, and the region map so far.
class ImageWriter {
 public:
  ImageWriter(const RegionTable& table, File& output, MessageSink& sink, WriteObserver& observer, char* buffer)
      : m_table(table), m_output(output), m_sink(sink), m_observer(observer), m_buffer(buffer) {}

  // Writes every row; on a failure the message has been shown before this returns false.
  bool WriteAll() {
    std::uint64_t position = 0;
    for (int row = 0; row < m_table.Count(); ++row) {
      // The region's image file stays open until the region is written or its failure has been shown.
      RegionBytes region(m_table, row, position);
      if (region.GetProblem() != RegionBytes::Problem::None) return Fail(region.ProblemMessage());
      m_observer.RegionStarting(region.Placed());
      if (!m_observer.WantsBytes()) {
        switch (region.CopyImageInto(m_output)) {
          case RegionBytes::Copy::WriteFailed: return Fail(kMsgCannotWrite);
          case RegionBytes::Copy::Failed: return Fail(region.ProblemMessage());
          case RegionBytes::Copy::Done: m_observer.Written(nullptr, region.Placed().imageBytes); break;
          case RegionBytes::Copy::Unsupported: break;
        }
      }
      for (RegionBytes::Chunk chunk; (chunk = region.Next(m_buffer, kStreamBufferSize)).size > 0;) {
        if (!m_output.WriteAll(chunk.data, chunk.size)) return Fail(kMsgCannotWrite);
        m_observer.Written(chunk.data, chunk.size);
      }
      if (region.GetProblem() != RegionBytes::Problem::None) return Fail(region.ProblemMessage());
      m_observer.RegionDone(region.Placed());
      position += region.Placed().size;
      m_map.push_back(region.Placed());
    }
    return true;
  }

  std::vector<PlacedRegion> TakeMap() { return std::move(m_map); }

 private:
  bool Fail(const std::string& message) {
    m_sink.ShowMessage(message, MessageKind::Error);
    return false;
  }

  const RegionTable& m_table;
  File& m_output;
  MessageSink& m_sink;
  WriteObserver& m_observer;
  char* m_buffer;
  std::vector<PlacedRegion> m_map;
};

// The region whose image file the output would overwrite, if any.
std::optional<std::string> RegionWithSameFile(const RegionTable& table, const std::string& outputPath) {
  for (int row = 0; row < table.Count(); ++row) {
    const std::string image = table.GetCell(row, COL_IMAGE, kImagePathCapacity);
    if (!image.empty() && IsSameFile(outputPath, image)) return table.GetCell(row, COL_REGION, kRegionNameCapacity);
  }
  return std::nullopt;
}

std::uint64_t TotalSize(const RegionTable& table) {
  std::uint64_t total = 0;
  for (int row = 0; row < table.Count(); ++row) {
    total += static_cast<std::uint64_t>(std::max(0, ParseHex(table.GetCell(row, COL_SIZE, kSizeCapacity))));
  }
  return total;
}

}  // namespace

std::optional<std::vector<PlacedRegion>> GenerateImage(const RegionTable& table, const std::string& outputPath,
                                                       MessageSink& sink, const OutputOptions& /*options*/,
                                                       WriteObserver* observer) {
  if (const std::optional<std::string> region = RegionWithSameFile(table, outputPath)) {
    sink.ShowMessage(SameFileMessage(*region), MessageKind::Error);
    return std::nullopt;
  }
  OutputFile output(outputPath);
  if (!output.Open()) {
    sink.ShowMessage(kMsgCannotOpen, MessageKind::Error);
    return std::nullopt;
  }
  const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kStreamBufferSize]);
  if (!buffer) {
    sink.ShowMessage(kMsgOutOfMemory, MessageKind::Error);
    return std::nullopt;
  }
  WriteObserver& watcher = observer ? *observer : NoObserver();
  watcher.ImageStarting(TotalSize(table));
  ImageWriter writer(table, output.Get(), sink, watcher, buffer.get());
  if (!writer.WriteAll()) return std::nullopt;  // the output goes with its owner
  if (!output.Commit()) {
    sink.ShowMessage(kMsgCannotWrite, MessageKind::Error);
    return std::nullopt;
  }
  sink.ShowMessage(kMsgImageWritten, MessageKind::Plain);
  return writer.TakeMap();
}

}  // namespace quorvel
