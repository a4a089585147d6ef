#pragma once
// What a layout file and its image choices would do without a word: gaps and overlaps, sections
// that look like regions but are not, values that read differently from how they look.

#include <string>
#include <vector>

#include "layout/profile.h"
#include "layout/region_row.h"
#include "text/language.h"

namespace quorvel {

struct Finding {
  std::string region;  // the region or section concerned
  int line = 0;        // in the layout file; 0 when no one line is concerned
  std::string text;
};

// The rows are those loaded from the profile, with the image choices made on them. The texts are in
// the language given. imageFindings, what the image files would do (the image layer finds them:
// CheckImages), take their place among the others.
std::vector<Finding> CheckLayout(const ProfileFile& profile, const std::vector<RegionRow>& rows,
                                 Language language = Language::English, const std::vector<Finding>& imageFindings = {});

}  // namespace quorvel
