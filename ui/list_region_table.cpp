#include "list_region_table.h"

#include <algorithm>
#include <limits>

#include "hex.h"

namespace quorvel {
namespace {

// The list view's comparison function, given the items' positions: the key of a row is its address
// text read at 64 bits, for the item data of a 32-bit program holds only 32.
int CALLBACK CompareItemOffsets(LPARAM a, LPARAM b, LPARAM list) {
  const auto& items = *reinterpret_cast<const qfw::CListCtrl*>(list);
  const auto key = [&](LPARAM item) {
    return ParseHex64(items.GetItemText(static_cast<int>(item), COL_ADDRESS, static_cast<int>(kValueCapacity)));
  };
  return CompareOffsets(key(a), key(b));
}

// The key as item data: whole where LPARAM holds it, else saturated as a 32-bit reading would be.
LPARAM ItemData(std::int64_t key) {
  return static_cast<LPARAM>(std::clamp<std::int64_t>(key, std::numeric_limits<LPARAM>::min(), std::numeric_limits<LPARAM>::max()));
}

}  // namespace

void ListRegionTable::Clear() { m_list.DeleteAllItems(); }

int ListRegionTable::Count() const { return m_list.GetItemCount(); }

void ListRegionTable::Append(const std::string& offsetText, std::int64_t offsetKey) {
  m_list.InsertItem(Count(), offsetText, ItemData(offsetKey));
}

void ListRegionTable::SetCell(int row, int column, const std::string& text) { m_list.SetItemText(row, column, text); }

std::string ListRegionTable::GetCell(int row, int column, size_t capacity) const {
  return m_list.GetItemText(row, column, static_cast<int>(capacity));
}

void ListRegionTable::SortByOffset() { m_list.SortItemsEx(&CompareItemOffsets, reinterpret_cast<LPARAM>(&m_list)); }

}  // namespace quorvel
