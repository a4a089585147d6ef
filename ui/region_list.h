#pragma once
// The region rows and the dialog's list, which shows them: one item a row, in order, one column a
// text. The user's image choices are made on the rows through it, so the two never differ.

#include <string>
#include <vector>

#include "framework/list_ctrl.h"
#include "layout/region_row.h"

namespace quorvel {

class RegionList {
 public:
  explicit RegionList(qfw::CListCtrl& list) : m_list(list) {}

  // The columns, once the list's window exists.
  void InsertColumns();
  // Shows rows in place of those before: the list's window is new or the layout is.
  void Show(std::vector<RegionRow> rows);
  // The image chosen for the row at index (the list's item).
  void SetImage(size_t index, const std::string& path);
  const std::vector<RegionRow>& Rows() const { return m_rows; }

 private:
  qfw::CListCtrl& m_list;
  std::vector<RegionRow> m_rows;
};

}  // namespace quorvel
