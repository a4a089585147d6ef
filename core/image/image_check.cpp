#include "image/image_check.h"

#include <optional>
#include <string>

#include "files/file.h"
#include "image/record_image.h"
#include "image/region_bytes.h"

namespace quorvel {
namespace {

// The bytes an image file holds, and whether the number is exact: where the system cannot say (a
// pipe), they are counted up to one more than limit. None when it cannot be opened or read.
std::optional<std::pair<std::uint64_t, bool>> ImageBytes(const std::string& path, std::uint64_t limit) {
  std::optional<File> file = File::OpenForReading(path);
  if (!file) return std::nullopt;
  if (const std::optional<FileStamp> stamp = file->SizedStamp()) return std::pair{stamp->size, true};
  std::vector<char> buffer(1 << 16);
  std::uint64_t count = 0;
  while (count <= limit) {
    const std::optional<size_t> got = file->Read(buffer.data(), buffer.size());
    if (!got) return std::nullopt;
    if (*got == 0) return std::pair{count, true};
    count += *got;
  }
  return std::pair{count, false};
}

std::optional<std::string> CheckImage(const RegionRow& row, std::uint64_t position, std::uint64_t base, Language language) {
  const std::string& image = row.imagePath;
  if (image.empty()) return std::nullopt;
  // Records, read through: their fault is told as the writer tells it.
  if (HasRecordName(image) && !RowProblem(row)) {
    const RegionBytes region(row, position, base);
    const std::optional<Message>& problem = region.Problem();
    const std::optional<OutputFormat> format = region.Placed().imageFormat;
    if ((format && *format != OutputFormat::Binary) || (problem && problem->id == MessageId::RecordsNotAFile)) {
      return problem ? std::optional(MessageLine(*problem, language)) : std::nullopt;
    }
  }
  const std::uint64_t regionBytes = row.size > 0 ? static_cast<std::uint64_t>(row.size) : 0;
  const auto bytes = ImageBytes(image, regionBytes);
  if (!bytes) {
    return Say(language, "the image file '{0}' cannot be opened: {1}", "イメージファイル'{0}'を開けません: {1}", {image, LastSystemError()});
  }
  if (bytes->first <= regionBytes) return std::nullopt;
  return Say(language, "the image file '{0}' ({1}{2} bytes) is larger than the region ({3} bytes)",
             "イメージファイル'{0}'（{2}バイト{1}）がリージョン（{3}バイト）より大きいです",
             {image, bytes->second ? "" : Say(language, "more than ", "を超える"),
              std::to_string(bytes->second ? bytes->first : regionBytes), std::to_string(regionBytes)});
}

}  // namespace

std::vector<Finding> CheckImages(const std::vector<RegionRow>& rows, std::uint64_t base, Language language) {
  std::vector<Finding> findings;
  std::uint64_t position = 0;
  for (const RegionRow& row : rows) {
    if (std::optional<std::string> text = CheckImage(row, position, base, language)) findings.push_back({row.regionName, 0, std::move(*text)});
    position = NextPosition(position, row);
  }
  return findings;
}

}  // namespace quorvel
