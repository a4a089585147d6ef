#include "list_region_table.h"

#include <algorithm>
#include <limits>
#include <utility>
#include <vector>

#include "hex.h"

namespace quorvel {
namespace {

// The list view's comparison function: the item data are the rows' places in address order.
int CALLBACK CompareItemRanks(LPARAM a, LPARAM b, LPARAM /*sortParam*/) { return CompareOffsets(a, b); }

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

// The item data of a 32-bit program cannot hold a key of 64 bits. So the rows are ranked by their
// address texts read at 64 bits, the list sorts itself by the ranks, and each row gets its key back.
void ListRegionTable::SortByOffset() {
  std::vector<std::pair<std::int64_t, int>> keys;  // key and item
  for (int item = 0; item < Count(); ++item) keys.emplace_back(ParseHex64(GetCell(item, COL_ADDRESS, kValueCapacity)), item);
  std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) { return CompareOffsets(a.first, b.first) < 0; });
  for (size_t rank = 0; rank < keys.size(); ++rank) m_list.SetItemData(keys[rank].second, static_cast<LPARAM>(rank));
  m_list.SortItems(&CompareItemRanks, 0);
  for (size_t rank = 0; rank < keys.size(); ++rank) m_list.SetItemData(static_cast<int>(rank), ItemData(keys[rank].first));
}

}  // namespace quorvel
