#include "list_region_table.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "text/value_text.h"

namespace quorvel {
namespace {

// The list view's comparison function: the item data are the rows' places in keys while the control
// sorts. Called from inside the control, it neither allocates nor throws.
int CALLBACK CompareKeys(LPARAM a, LPARAM b, LPARAM keys) noexcept {
  const auto& key = *reinterpret_cast<const std::vector<std::int64_t>*>(keys);
  return CompareOffsets(key[static_cast<size_t>(a)], key[static_cast<size_t>(b)]);
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

// The key of a row is its address text read at 64 bits, for the item data of a 32-bit program holds
// only 32. The keys are read before anything moves; the item data carry each row's place among them
// while the control sorts (by item data, never by position, which moves under a sort), and the row's
// key again afterwards.
void ListRegionTable::SortByOffset() {
  const int count = Count();
  std::vector<std::int64_t> keys;
  keys.reserve(static_cast<size_t>(count));
  for (int row = 0; row < count; ++row) {
    keys.push_back(ParseHex64(GetCell(row, COL_ADDRESS, kValueCapacity)));
    m_list.SetItemData(row, row);
  }
  m_list.SortItems(&CompareKeys, reinterpret_cast<LPARAM>(&keys));
  for (int row = 0; row < count; ++row) m_list.SetItemData(row, ItemData(keys[static_cast<size_t>(m_list.GetItemData(row))]));
}

}  // namespace quorvel
