#pragma once
// Tells whether an existing whole-flash image holds exactly what the region rows call for.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "layout/region_row.h"
#include "text/messages.h"

namespace quorvel {

struct RegionCheck {
  enum class Outcome {
    Matches,
    Differs,           // from byte `at` of the region on
    ImageEnds,         // `at` bytes into the region
    ImageUnreadable,   // the image could not be read here
    RegionUnreadable,  // the region's own bytes could not be had: `problem` says why
  };
  std::string regionName;
  std::uint64_t position = 0;
  std::uint64_t size = 0;
  Outcome outcome = Outcome::Matches;
  std::uint64_t at = 0;
  std::optional<Message> problem;
  bool Matches() const { return outcome == Outcome::Matches; }
};

struct VerifyReport {
  std::vector<RegionCheck> regions;
  std::uint64_t imageSize = 0;  // as far as it was read: the layout's bytes and at most one buffer more
  bool imageGoesOn = false;     // the image holds more than imageSize
  std::uint64_t expectedSize = 0;
  bool AllMatch() const;
};

// None when the image file cannot be read at all. base places the bytes of image files given as
// records, as the writer does.
std::optional<VerifyReport> VerifyImage(const std::vector<RegionRow>& rows, const std::string& imagePath, std::uint64_t base = 0);

}  // namespace quorvel
