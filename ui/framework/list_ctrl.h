#pragma once
// The list-view control in report view, with the calls the program makes on it.

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "wnd.h"

namespace qfw {

class CListCtrl : public CWnd {
 public:
  int InsertColumn(int column, const std::string& heading, int format, int width, int subItem);
  DWORD SetExtendedStyle(DWORD style);
  int GetItemCount() const;
  BOOL DeleteAllItems();
  // Inserts an item with its first column's text and its item data; returns its index or -1.
  int InsertItem(int item, const std::string& text, LPARAM data);
  BOOL SetItemText(int item, int subItem, const std::string& text);
  // The text, cut to at most capacity - 1 UTF-16 units.
  std::string GetItemText(int item, int subItem, int capacity) const;
  LPARAM GetItemData(int item) const;
  BOOL SetItemData(int item, LPARAM data);
  int GetNextItem(int start, int flags) const;
  // The item at info->pt, in any column; -1 for none. info->flags tells where the point lies.
  int SubItemHitTest(LVHITTESTINFO* info) const;
  // Sorts by the items' data: the comparison function is given two items' data and sortParam.
  BOOL SortItems(PFNLVCOMPARE compare, LPARAM sortParam);
};

}  // namespace qfw
