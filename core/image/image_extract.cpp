#include "image/image_extract.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "files/path.h"
#include "files/replacement_file.h"

namespace quorvel {
namespace {

// How many of the bytes at the end of data are 0xFF.
size_t ErasedTail(const char* data, size_t size) {
  size_t end = size;
  for (std::uint64_t word; end >= 8 && (std::memcpy(&word, data + end - 8, 8), word == UINT64_MAX);) end -= 8;
  while (end > 0 && data[end - 1] == '\xFF') --end;
  return size - end;
}

// One extraction: the image read from its start, the regions' new files, and the map so far.
class Extraction {
 public:
  Extraction(const std::vector<RegionRow>& rows, File& image, const std::string& imagePath, const std::string& folder,
             MessageSink& sink, const ExtractOptions& options, const std::vector<WriteObserver*>& observers, char* buffer)
      : m_rows(rows), m_image(image), m_imagePath(imagePath), m_folder(folder), m_sink(sink), m_options(options),
        m_observers(observers), m_buffer(buffer) {}

  // Every region into a new file, none put in place yet; on a failure the message has been shown.
  bool ReadAll(std::uint64_t total) {
    std::uint64_t position = 0;
    for (const RegionRow& row : m_rows) {
      PlacedRegion placed{row.regionName, row.offsetText, RegionFilePath(m_folder, row.regionName), position,
                          static_cast<std::uint64_t>(row.size), 0, OutputFormat::Binary};
      std::optional<ReplacementFile> file = ReplacementFile::Open(placed.imagePath, /*replacedOnly=*/true);
      if (!file) return Fail({MessageId::CannotOpen, {}, placed.imagePath, LastSystemError()});
      if (m_options.shareErased) file->ShareErasedRuns();
      if (!CopyRegion(placed, file->Get(), total)) return false;
      for (WriteObserver* o : m_observers) o->RegionDone(placed);
      m_files.push_back(std::move(*file));
      m_map.push_back(std::move(placed));
      position = NextPosition(position, row);
    }
    return true;
  }

  // Every file on the disk first, the observers' own (the map) too; then each in its place, the
  // observers' after them.
  bool Commit() {
    for (size_t i = 0; i < m_files.size(); ++i) {
      if (!m_files[i].Get().Flush()) return Fail({MessageId::CannotWrite, {}, m_map[i].imagePath, LastSystemError()});
    }
    if (const std::optional<Message> problem = CompleteObserversFiles(m_observers, m_map)) return Fail(*problem);
    for (size_t i = 0; i < m_files.size(); ++i) {
      if (!m_files[i].Commit()) return Fail({MessageId::CannotWrite, {}, m_map[i].imagePath, LastSystemError()});
    }
    if (const std::optional<Message> problem = PlaceObserversFiles(m_observers)) return Fail(*problem);
    return true;
  }

  std::vector<PlacedRegion> TakeMap() { return std::move(m_map); }

 private:
  bool Fail(const Message& message) {
    m_sink.ShowMessage(message);
    return false;
  }

  // The region's bytes from the image into file: those up to the last that is no 0xFF as they come,
  // the 0xFF after them only once more follows, or at the region's end unless trimmed.
  bool CopyRegion(PlacedRegion& placed, File& file, std::uint64_t total) {
    std::uint64_t erased = 0;  // read, not yet written
    for (std::uint64_t left = placed.size; left > 0;) {
      const std::optional<size_t> got = m_image.Read(m_buffer, static_cast<size_t>(std::min<std::uint64_t>(left, kStreamBufferSize)));
      if (!got) return Fail({MessageId::CannotRead, {}, m_imagePath, LastSystemError()});
      if (*got == 0) {
        const std::string held = std::to_string(placed.position + placed.size - left);
        return Fail({MessageId::ImageTooShort, placed.regionName, m_imagePath, {}, {}, {held, std::to_string(total)}});
      }
      for (WriteObserver* o : m_observers) o->Written(m_buffer, *got);
      left -= *got;
      const size_t tail = ErasedTail(m_buffer, *got);
      if (tail < *got) {
        if (!file.WriteErased(erased) || !file.WriteAll(m_buffer, *got - tail)) return WriteFailed(placed);
        placed.imageBytes += erased + (*got - tail);
        erased = 0;
      }
      erased += tail;
    }
    if (m_options.trim) return true;
    placed.imageBytes += erased;
    return file.WriteErased(erased) || WriteFailed(placed);
  }

  bool WriteFailed(const PlacedRegion& placed) { return Fail({MessageId::CannotWrite, {}, placed.imagePath, LastSystemError()}); }

  const std::vector<RegionRow>& m_rows;
  File& m_image;
  const std::string& m_imagePath;
  const std::string& m_folder;
  MessageSink& m_sink;
  const ExtractOptions& m_options;
  const std::vector<WriteObserver*>& m_observers;
  char* m_buffer;
  std::vector<ReplacementFile> m_files;  // the regions' new files, in the rows' order
  std::vector<PlacedRegion> m_map;
};

// A region's file that would be an input: the message that refuses it.
std::optional<Message> InputAt(const std::string& path, const std::string& imagePath, const std::string& layoutPath) {
  if (IsSameFile(path, imagePath)) return Message{MessageId::SameAsImageRead, {}, path};
  if (!layoutPath.empty() && IsSameFile(path, layoutPath)) return Message{MessageId::SameAsLayout, {}, path};
  return std::nullopt;
}

}  // namespace

std::string RegionFilePath(const std::string& folder, const std::string& regionName) {
  const bool separated = !folder.empty() && (folder.back() == '/' || folder.back() == '\\');
  return folder + (separated ? "" : "/") + regionName + ".bin";
}

std::optional<std::vector<PlacedRegion>> ExtractRegions(const std::vector<RegionRow>& rows, const std::string& imagePath,
                                                        const std::string& folder, MessageSink& sink, const ExtractOptions& options,
                                                        const std::vector<WriteObserver*>& observers) {
  const auto refuse = [&](const Message& message) {
    sink.ShowMessage(message);
    return std::nullopt;
  };
  std::uint64_t total = 0;
  for (const RegionRow& row : rows) {
    if (const std::optional<Message> problem = RowProblem(row)) return refuse(*problem);
    total = NextPosition(total, row);
  }
  if (!IsFolder(folder)) return refuse({MessageId::NotAFolder, {}, folder});
  for (const RegionRow& row : rows) {
    if (const std::optional<Message> input = InputAt(RegionFilePath(folder, row.regionName), imagePath, options.layoutPath)) {
      return refuse(*input);
    }
  }
  std::optional<File> image = File::OpenForReading(imagePath);
  if (!image) return refuse({MessageId::CannotOpen, {}, imagePath, LastSystemError()});
  // An ordinary file's size tells at once whether it holds every region.
  const std::optional<FileStamp> stamp = image->SizedStamp();
  if (stamp && stamp->size < total) {
    std::uint64_t position = 0;
    const auto shortRow = std::find_if(rows.begin(), rows.end(), [&](const RegionRow& row) {
      return (position = NextPosition(position, row)) > stamp->size;
    });
    return refuse({MessageId::ImageTooShort, shortRow->regionName, imagePath, {}, {}, {std::to_string(stamp->size), std::to_string(total)}});
  }
  const std::unique_ptr<char[]> buffer(new (std::nothrow) char[kStreamBufferSize]);
  if (!buffer) return refuse({MessageId::OutOfMemory});
  for (WriteObserver* o : observers) o->ImageStarting(total);
  Extraction extraction(rows, *image, imagePath, folder, sink, options, observers, buffer.get());
  if (!extraction.ReadAll(total)) return std::nullopt;
  if (stamp && image->Stamp() != stamp) return refuse({MessageId::FileChanged, {}, imagePath});
  image.reset();
  if (!extraction.Commit()) return std::nullopt;
  sink.ShowMessage({MessageId::RegionsExtracted});
  return extraction.TakeMap();
}

}  // namespace quorvel
