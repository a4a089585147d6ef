#pragma once
// What the rows' image files would do without a word, for the check of a layout: a file that cannot
// be opened, one larger than its region, records that cannot be the region's image.

#include <cstdint>
#include <vector>

#include "layout/layout_check.h"
#include "layout/region_row.h"
#include "text/language.h"

namespace quorvel {

// One finding a row at most, in the language given. base places records as the writer does; records
// are read through, as the writer reads them before writing.
std::vector<Finding> CheckImages(const std::vector<RegionRow>& rows, std::uint64_t base, Language language);

}  // namespace quorvel
