#include "layout/region_table.h"

#include <algorithm>
#include <cassert>

#include "base/text.h"

namespace quorvel {
namespace {

std::string RegionRow::*CellOf(int column) {
  switch (column) {
    case COL_ADDRESS: return &RegionRow::offsetText;
    case COL_SIZE: return &RegionRow::sizeText;
    case COL_REGION: return &RegionRow::regionName;
    default: assert(column == COL_IMAGE); return &RegionRow::imagePath;
  }
}

}  // namespace

int CompareOffsets(std::int64_t a, std::int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); }

void MemoryRegionTable::Clear() { m_rows.clear(); }

int MemoryRegionTable::Count() const { return static_cast<int>(m_rows.size()); }

void MemoryRegionTable::Append(const std::string& offsetText, std::int64_t offsetKey) {
  RegionRow row;
  row.offsetText = offsetText;
  row.offsetKey = offsetKey;
  m_rows.push_back(std::move(row));
}

void MemoryRegionTable::SetCell(int row, int column, const std::string& text) {
  assert(row >= 0 && row < Count());
  m_rows[static_cast<size_t>(row)].*CellOf(column) = text;
}

std::string MemoryRegionTable::GetCell(int row, int column, size_t capacity) const {
  assert(row >= 0 && row < Count() && capacity > 0);
  return std::string(qbase::Utf8Prefix(m_rows[static_cast<size_t>(row)].*CellOf(column), capacity - 1));
}

void MemoryRegionTable::SortByOffset() {
  std::stable_sort(m_rows.begin(), m_rows.end(),
                   [](const RegionRow& a, const RegionRow& b) { return CompareOffsets(a.offsetKey, b.offsetKey) < 0; });
}

}  // namespace quorvel
