#include "list_region_table.h"

namespace quorvel {
namespace {

// The list view's comparison function: the item data are the rows' keys.
int CALLBACK CompareItemOffsets(LPARAM a, LPARAM b, LPARAM /*sortParam*/) {
  return CompareOffsets(static_cast<std::int32_t>(a), static_cast<std::int32_t>(b));
}

}  // namespace

void ListRegionTable::Clear() { m_list.DeleteAllItems(); }

int ListRegionTable::Count() const { return m_list.GetItemCount(); }

void ListRegionTable::Append(const std::string& offsetText, std::int32_t offsetKey) {
  m_list.InsertItem(Count(), offsetText, static_cast<LPARAM>(offsetKey));
}

void ListRegionTable::SetCell(int row, int column, const std::string& text) { m_list.SetItemText(row, column, text); }

std::string ListRegionTable::GetCell(int row, int column, size_t capacity) const {
  return m_list.GetItemText(row, column, static_cast<int>(capacity));
}

void ListRegionTable::SortByOffset() { m_list.SortItems(&CompareItemOffsets, 0); }

}  // namespace quorvel
