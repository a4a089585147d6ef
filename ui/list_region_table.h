#pragma once
// The region table kept in the dialog's list control: the rows are the list's items, the cells its
// columns, and each row's sort key the item data.

#include "framework/list_ctrl.h"
#include "layout/region_table.h"

namespace quorvel {

class ListRegionTable final : public RegionTable {
 public:
  explicit ListRegionTable(qfw::CListCtrl& list) : m_list(list) {}

  void Clear() override;
  int Count() const override;
  void Append(const std::string& offsetText, std::int64_t offsetKey) override;
  void SetCell(int row, int column, const std::string& text) override;
  std::string GetCell(int row, int column, size_t capacity) const override;
  void SortByOffset() override;

 private:
  qfw::CListCtrl& m_list;
};

}  // namespace quorvel
