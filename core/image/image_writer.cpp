#include "image/image_writer.h"

#include <algorithm>
#include <memory>
#include <new>
#include <system_error>

#include "files/replacement_file.h"
#include "image/overlapped_writer.h"
#include "image/record_image.h"
#include "image/region_bytes.h"

namespace quorvel {
namespace {

// Where the image's bytes go: into the output file as they are, or as records, written to it while
// the next are made.
class ImageOutput {
 public:
  ImageOutput(File& file, const OutputOptions& options, std::uint64_t totalBytes) : m_file(file) {
    if (options.format != OutputFormat::Binary) {
      m_text.emplace(file);
      m_encoder.emplace(options.format, options.base, totalBytes,
                        [this](const char* data, size_t size) { return m_text->Write(data, size); });
    }
  }
  // The file for the raw image, which may take image files copied inside the system; none when
  // every byte must pass through the records.
  File* RawFile() { return m_encoder ? nullptr : &m_file; }
  bool Write(const RegionBytes::Chunk& chunk) {
    return m_encoder ? m_encoder->Write(chunk.data, chunk.size) : m_file.WriteAll(chunk.data, chunk.size);
  }
  // count bytes of erased flash: shared or written in the raw image, left out of the records.
  bool Fill(std::uint64_t count) {
    if (!m_encoder) return m_file.WriteErased(count);
    for (std::uint64_t left = count; left > 0;) {
      const size_t piece = static_cast<size_t>(std::min<std::uint64_t>(left, kErasedBlockSize));
      if (!m_encoder->Skip(piece)) return false;
      left -= piece;
    }
    return true;
  }
  // Both finish, whatever the encoder says: the text writer's thread must end either way.
  bool Finish() {
    if (!m_encoder) return true;
    const bool encoded = m_encoder->Finish();
    const bool written = m_text->Finish();
    return encoded && written;
  }
  // Why the records could not be written; empty for the raw image, whose failures are the caller's.
  std::string FailureReason() const { return m_text ? m_text->FailureReason() : std::string(); }
  // Ends the records' writer, its thread and what it holds: nothing writes to the file afterwards.
  void Abandon() {
    m_encoder.reset();
    m_text.reset();
  }

 private:
  File& m_file;
  std::optional<OverlappedWriter> m_text;  // before the encoder, which hands it the text
  std::optional<RecordEncoder> m_encoder;
};

bool AnyCancelled(const std::vector<WriteObserver*>& observers) {
  return std::any_of(observers.begin(), observers.end(), [](const WriteObserver* o) { return o->Cancelled(); });
}

// One generation: the output, the stream buffer, and the region map so far.
class ImageWriter {
 public:
  // checked: the regions opened before the output, by the rows' index.
  ImageWriter(const std::vector<RegionRow>& rows, std::vector<std::unique_ptr<RegionBytes>> checked, std::uint64_t base,
              ImageOutput& output, const std::string& outputPath, MessageSink& sink, const std::vector<WriteObserver*>& observers,
              char* buffer)
      : m_rows(rows), m_checked(std::move(checked)), m_base(base), m_output(output), m_outputPath(outputPath), m_sink(sink),
        m_observers(observers), m_buffer(buffer) {}

  // Writes every row; on a failure the message has been shown before this returns false, unless the
  // run was cancelled (Stopped).
  bool WriteAll() {
    const bool bytesWanted = std::any_of(m_observers.begin(), m_observers.end(), [](auto* o) { return o->WantsBytes(); });
    std::uint64_t position = 0;
    for (size_t i = 0; i < m_rows.size(); ++i) {
      if (AnyCancelled(m_observers)) return Stop();
      // The region's image file stays open until the region is written or its failure has been shown.
      std::unique_ptr<RegionBytes> opened = std::move(m_checked[i]);
      if (!opened) opened = std::make_unique<RegionBytes>(m_rows[i], position, m_base);
      RegionBytes& region = *opened;
      if (region.Problem()) return Fail(region);
      std::uint64_t at = position;  // where the region's next bytes go in the image
      if (File* raw = m_output.RawFile(); raw && !bytesWanted) {
        switch (region.CopyImageInto(*raw)) {
          case RegionBytes::Copy::WriteFailed: return WriteFailed();
          case RegionBytes::Copy::Failed: return Fail(region);
          case RegionBytes::Copy::Done: Passed(region.Placed().imageBytes, nullptr), at += region.Placed().imageBytes; break;
          case RegionBytes::Copy::Unsupported: break;
        }
      }
      for (RegionBytes::Chunk chunk; (chunk = region.Next(m_buffer, kStreamBufferSize)).size > 0;) {
        if (chunk.erased) {
          // A gap between records, or the rest of the region: fill, which the output takes in large
          // pieces and may share: pieces that end where the image's bytes are a multiple of the piece,
          // so that after the first they start where the file system's blocks do.
          for (std::uint64_t fill = chunk.size + region.TakeFill(); fill > 0;) {
            const std::uint64_t piece = std::min<std::uint64_t>(fill, kFillPiece - at % kFillPiece);
            if (!m_output.Fill(piece)) return WriteFailed();
            Passed(piece, bytesWanted ? ErasedBlock() : nullptr);
            if (AnyCancelled(m_observers)) return Stop();
            fill -= piece;
            at += piece;
          }
          continue;
        }
        if (!m_output.Write(chunk)) return WriteFailed();
        for (WriteObserver* o : m_observers) o->Written(chunk.data, chunk.size);
        at += chunk.size;
        if (AnyCancelled(m_observers)) return Stop();
      }
      if (region.Problem()) return Fail(region);
      for (WriteObserver* o : m_observers) o->RegionDone(region.Placed());
      position += region.Placed().size;
      m_map.push_back(region.Placed());
    }
    return m_output.Finish() || WriteFailed();
  }

  std::vector<PlacedRegion> TakeMap() { return std::move(m_map); }
  bool Stopped() const { return m_stopped; }

 private:
  // Between pieces the observers hear of and may cancel after: large enough to cost nothing, small
  // enough that a slow disk takes a fraction of a second for one.
  static constexpr std::uint64_t kFillPiece = kStreamBufferSize;

  // A cancelled run says nothing, even of a read or write that the cancel interrupted.
  bool Stop() {
    m_stopped = true;
    return false;
  }
  // Tells the observers of count bytes that did not pass through the buffer: copied inside the system
  // (none then wants bytes) or erased (given as the erased block to those that want bytes).
  void Passed(std::uint64_t count, const char* erased) {
    for (std::uint64_t left = count; left > 0;) {
      const size_t piece = static_cast<size_t>(std::min<std::uint64_t>(left, kErasedBlockSize));
      for (WriteObserver* o : m_observers) o->Written(erased, piece);
      left -= piece;
    }
  }
  bool Fail(const RegionBytes& region) {
    if (AnyCancelled(m_observers)) return Stop();
    m_sink.ShowMessage(*region.Problem());
    return false;
  }
  bool WriteFailed() {
    if (AnyCancelled(m_observers)) return Stop();
    const std::string reason = m_output.FailureReason();
    m_sink.ShowMessage({MessageId::CannotWrite, {}, m_outputPath, reason.empty() ? LastSystemError() : reason});
    return false;
  }

  const std::vector<RegionRow>& m_rows;
  std::vector<std::unique_ptr<RegionBytes>> m_checked;
  std::uint64_t m_base;
  ImageOutput& m_output;
  const std::string& m_outputPath;
  MessageSink& m_sink;
  const std::vector<WriteObserver*>& m_observers;
  char* m_buffer;
  std::vector<PlacedRegion> m_map;
  bool m_stopped = false;
};

// The bytes of the image.
std::uint64_t TotalSize(const std::vector<RegionRow>& rows) {
  std::uint64_t total = 0;
  for (const RegionRow& row : rows) total = NextPosition(total, row);
  return total;
}

// The regions whose image files are named as records, opened and their records read through before
// the output is opened: a fault in them refuses the run with nothing written (and untold, when the run
// was cancelled meanwhile), and each file stays held until its region is written. None at the index
// of any other row.
std::vector<std::unique_ptr<RegionBytes>> CheckRecords(const std::vector<RegionRow>& rows, std::uint64_t base, MessageSink& sink,
                                                       const std::vector<WriteObserver*>& observers, bool& failed) {
  std::vector<std::unique_ptr<RegionBytes>> checked(rows.size());
  std::uint64_t position = 0;
  for (size_t i = 0; i < rows.size() && !failed; position = NextPosition(position, rows[i++])) {
    if (!HasRecordName(rows[i].imagePath)) continue;
    checked[i] = std::make_unique<RegionBytes>(rows[i], position, base);
    if (const std::optional<Message>& problem = checked[i]->Problem()) {
      if (!AnyCancelled(observers)) sink.ShowMessage(*problem);
      failed = true;
    }
  }
  return checked;
}

// After a failure: the new image goes and, as the user agreed to replace it, the old one too unless
// it is to stay. A file written in place that cannot be removed is emptied, and the user is told.
void Abandon(ReplacementFile& output, bool keepOld, const std::string& outputPath, MessageSink& sink) {
  output.Discard();
  const bool removed = !keepOld && output.RemoveOld();
  if (output.WritesInPlace() && !removed) sink.ShowMessage({MessageId::OutputEmptied, {}, outputPath});
}

// Writes every row into output; the map, or none once the failure has been shown or the run was
// cancelled (stopped).
std::optional<std::vector<PlacedRegion>> WriteRows(const std::vector<RegionRow>& rows, std::vector<std::unique_ptr<RegionBytes>> checked,
                                                   ReplacementFile& output, const std::string& outputPath, MessageSink& sink,
                                                   const OutputOptions& options, const std::vector<WriteObserver*>& observers,
                                                   bool& stopped) {
  const std::uint64_t total = TotalSize(rows);
  const std::unique_ptr<char[]> buffer(new char[kStreamBufferSize]);
  if (options.format == OutputFormat::Binary && options.shareErased) output.ShareErasedRuns();
  for (WriteObserver* o : observers) o->ImageStarting(total);
  ImageOutput image(output.Get(), options, total);
  ImageWriter writer(rows, std::move(checked), options.base, image, outputPath, sink, observers, buffer.get());
  const bool written = writer.WriteAll();
  stopped = writer.Stopped() || AnyCancelled(observers);
  if (!written || stopped) return std::nullopt;
  return writer.TakeMap();
}

}  // namespace

std::optional<Message> CompleteObserversFiles(const std::vector<WriteObserver*>& observers, const std::vector<PlacedRegion>& map) {
  for (WriteObserver* o : observers) {
    if (std::optional<Message> problem = o->ImageComplete(map)) return problem;
  }
  return std::nullopt;
}

std::optional<Message> PlaceObserversFiles(const std::vector<WriteObserver*>& observers) {
  for (WriteObserver* o : observers) {
    if (std::optional<Message> problem = o->ImagePlaced()) return problem;
  }
  return std::nullopt;
}

std::optional<std::vector<PlacedRegion>> GenerateImage(const std::vector<RegionRow>& rows, const std::string& outputPath,
                                                       MessageSink& sink, const OutputOptions& options,
                                                       const std::vector<WriteObserver*>& observers) {
  // The inputs are never written over, whatever the output's spelling.
  if (const std::optional<Input> input = OverwrittenInput(outputPath, options.layoutPath, rows)) {
    sink.ShowMessage({input->isLayout ? MessageId::SameAsLayout : MessageId::SameAsImage, input->region, outputPath});
    return std::nullopt;
  }
  if (options.format != OutputFormat::Binary && !RecordsCanAddress(options.base, TotalSize(rows))) {
    sink.ShowMessage({MessageId::BeyondRecordAddresses});
    return std::nullopt;
  }
  bool failed = false;
  std::vector<std::unique_ptr<RegionBytes>> checked = CheckRecords(rows, options.base, sink, observers, failed);
  if (failed || AnyCancelled(observers)) return std::nullopt;
  std::optional<ReplacementFile> output = ReplacementFile::Open(outputPath);
  if (!output) {
    sink.ShowMessage({MessageId::CannotOpen, {}, outputPath, LastSystemError()});
    return std::nullopt;
  }
  std::optional<std::vector<PlacedRegion>> map;
  bool stopped = false;
  try {
    map = WriteRows(rows, std::move(checked), *output, outputPath, sink, options, observers, stopped);
  } catch (const std::bad_alloc&) {
    sink.ShowMessage({MessageId::OutOfMemory});
  } catch (const std::system_error&) {  // no thread for the records' writer
    sink.ShowMessage({MessageId::OutOfMemory});
  }
  // After a failure, as the user agreed to replace the output, no file stands in its place; after a
  // cancel the old one stays, for the user did not agree to lose it.
  if (!map) {
    Abandon(*output, stopped, outputPath, sink);
    return std::nullopt;
  }
  // The observers' files whole before the image takes its place: either both are put in place or
  // neither is, and then the old image stays with the old map that tells of it.
  if (const std::optional<Message> problem = CompleteObserversFiles(observers, *map)) {
    sink.ShowMessage(*problem);
    Abandon(*output, true, outputPath, sink);
    return std::nullopt;
  }
  if (!output->Commit()) {
    const bool cancelled = AnyCancelled(observers);  // the flush that the cancel interrupted is told of by no one
    if (!cancelled) sink.ShowMessage({MessageId::CannotWrite, {}, outputPath, LastSystemError()});
    Abandon(*output, cancelled, outputPath, sink);
    return std::nullopt;
  }
  if (const std::optional<Message> problem = PlaceObserversFiles(observers)) {
    sink.ShowMessage(*problem);
    return std::nullopt;
  }
  sink.ShowMessage({MessageId::ImageWritten});
  return map;
}

}  // namespace quorvel
