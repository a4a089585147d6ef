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
  BOOL DeleteAllItems();
  // Inserts an item with its first column's text; returns its index or -1.
  int InsertItem(int item, const std::string& text);
  BOOL SetItemText(int item, int subItem, const std::string& text);
  int GetNextItem(int start, int flags) const;
  // The item at info->pt, in any column; -1 for none. info->flags tells where the point lies.
  int SubItemHitTest(LVHITTESTINFO* info) const;
};

}  // namespace qfw
