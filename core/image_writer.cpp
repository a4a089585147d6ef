#include "image_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <random>

#include "file_access.h"
#include "hex.h"

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
    for (int row = 0; row < m_table.Count(); ++row) {
      if (!WriteRegion(row)) return false;
    }
    return true;
  }

  std::vector<PlacedRegion> TakeMap() { return std::move(m_map); }

 private:
  bool Fail(const std::string& message) {
    m_sink.ShowMessage(message, MessageKind::Error);
    return false;
  }

  bool WriteRegion(int row) {
    const std::int32_t size = ParseHex(m_table.GetCell(row, COL_SIZE, kSizeCapacity));
    if (size < 0) return Fail(kMsgOutOfMemory);

    PlacedRegion placed;
    placed.regionName = m_table.GetCell(row, COL_REGION, kRegionNameCapacity);
    placed.offsetText = m_table.GetCell(row, COL_ADDRESS, kValueCapacity);
    placed.imagePath = m_table.GetCell(row, COL_IMAGE, kImagePathCapacity);
    placed.position = m_position;
    placed.size = static_cast<std::uint64_t>(size);

    if (!placed.imagePath.empty()) {
      // The image file stays open until its region is written or its failure has been shown.
      std::optional<File> image = File::OpenForReading(placed.imagePath);
      if (!image) return Fail(kMsgCannotOpen);
      const std::optional<std::uint64_t> imageSize = image->Size();
      if (!imageSize) return Fail(kMsgCannotRead);
      if (*imageSize > placed.size) return Fail(OversizeMessage(placed.regionName));
      placed.imageBytes = *imageSize;
      m_observer.RegionStarting(placed);
      if (!CopyImage(*image, placed)) return false;
    } else {
      m_observer.RegionStarting(placed);
    }
    if (!Fill(placed.size - placed.imageBytes)) return false;
    m_observer.RegionDone(placed);
    m_position += placed.size;
    m_map.push_back(std::move(placed));
    return true;
  }

  // Exactly the checked number of bytes; an image that ends early is a failed read, one that has
  // grown in the meantime a changed file.
  bool CopyImage(File& image, const PlacedRegion& placed) {
    m_bufferIsFill = false;
    for (std::uint64_t left = placed.imageBytes; left > 0;) {
      const size_t want = static_cast<size_t>(std::min<std::uint64_t>(left, kStreamBufferSize));
      const std::optional<size_t> got = image.Read(m_buffer, want);
      if (!got || *got != want) return Fail(kMsgCannotRead);
      if (!Write(want)) return false;
      left -= want;
    }
    char extra;
    const std::optional<size_t> more = image.Read(&extra, 1);
    if (!more) return Fail(kMsgCannotRead);
    if (*more != 0) return Fail(ImageChangedMessage(placed.regionName));
    return true;
  }

  bool Fill(std::uint64_t count) {
    if (count > 0 && !m_bufferIsFill) {
      std::memset(m_buffer, 0xFF, kStreamBufferSize);
      m_bufferIsFill = true;
    }
    while (count > 0) {
      const size_t chunk = static_cast<size_t>(std::min<std::uint64_t>(count, kStreamBufferSize));
      if (!Write(chunk)) return false;
      count -= chunk;
    }
    return true;
  }

  bool Write(size_t count) {
    if (!m_output.WriteAll(m_buffer, count)) return Fail(kMsgCannotWrite);
    m_observer.Written(m_buffer, count);
    return true;
  }

  const RegionTable& m_table;
  File& m_output;
  MessageSink& m_sink;
  WriteObserver& m_observer;
  char* m_buffer;
  bool m_bufferIsFill = false;
  std::uint64_t m_position = 0;
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
                                                       MessageSink& sink, WriteObserver* observer) {
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
