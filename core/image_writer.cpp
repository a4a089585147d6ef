#include "image_writer.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "file_access.h"
#include "hex.h"

namespace quorvel {
namespace {

// One generation: the output file, the stream buffer, and the region map so far.
class ImageWriter {
 public:
  ImageWriter(const RegionTable& table, File& output, MessageSink& sink, char* buffer)
      : m_table(table), m_output(output), m_sink(sink), m_buffer(buffer) {}

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
      if (!CopyImage(*image, *imageSize)) return false;
      placed.imageBytes = *imageSize;
    }
    if (!Fill(placed.size - placed.imageBytes)) return false;
    m_position += placed.size;
    m_map.push_back(std::move(placed));
    return true;
  }

  // Exactly count bytes of the image into the output; an image that ends early is a failed read.
  bool CopyImage(File& image, std::uint64_t count) {
    m_bufferIsFill = false;
    while (count > 0) {
      const size_t want = static_cast<size_t>(std::min<std::uint64_t>(count, kStreamBufferSize));
      const std::optional<size_t> got = image.Read(m_buffer, want);
      if (!got || *got != want) return Fail(kMsgCannotRead);
      if (!m_output.WriteAll(m_buffer, want)) return Fail(kMsgCannotWrite);
      count -= want;
    }
    return true;
  }

  bool Fill(std::uint64_t count) {
    if (count > 0 && !m_bufferIsFill) {
      std::memset(m_buffer, 0xFF, kStreamBufferSize);
      m_bufferIsFill = true;
    }
    while (count > 0) {
      const size_t chunk = static_cast<size_t>(std::min<std::uint64_t>(count, kStreamBufferSize));
      if (!m_output.WriteAll(m_buffer, chunk)) return Fail(kMsgCannotWrite);
      count -= chunk;
    }
    return true;
  }

  const RegionTable& m_table;
  File& m_output;
  MessageSink& m_sink;
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

}  // namespace

std::optional<std::vector<PlacedRegion>> GenerateImage(const RegionTable& table, const std::string& outputPath,
                                                       MessageSink& sink) {
  if (const std::optional<std::string> region = RegionWithSameFile(table, outputPath)) {
    sink.ShowMessage(SameFileMessage(*region), MessageKind::Error);
    return std::nullopt;
  }
  std::optional<File> output = File::CreateForWriting(outputPath);
  if (!output) {
    sink.ShowMessage(kMsgCannotOpen, MessageKind::Error);
    return std::nullopt;
  }
  const bool removable = output->IsRegular();
  const auto discardOutput = [&] {
    output->Close();
    if (removable) RemoveFile(outputPath);
  };

  const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kStreamBufferSize]);
  if (!buffer) {
    sink.ShowMessage(kMsgOutOfMemory, MessageKind::Error);
    discardOutput();
    return std::nullopt;
  }
  ImageWriter writer(table, *output, sink, buffer.get());
  if (!writer.WriteAll()) {
    discardOutput();
    return std::nullopt;
  }
  if (!output->Close()) {
    sink.ShowMessage(kMsgCannotWrite, MessageKind::Error);
    if (removable) RemoveFile(outputPath);
    return std::nullopt;
  }
  sink.ShowMessage(kMsgImageWritten, MessageKind::Plain);
  return writer.TakeMap();
}

}  // namespace quorvel
