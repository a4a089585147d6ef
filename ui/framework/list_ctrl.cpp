#include "list_ctrl.h"

#include <cassert>

#include "base/text.h"

namespace qfw {

int CListCtrl::InsertColumn(int column, const std::string& heading, int format, int width, int subItem) {
  assert(::IsWindow(m_hWnd));
  std::wstring text = qbase::Utf8ToWide(heading);
  LVCOLUMNW col{};
  col.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
  col.fmt = format;
  col.cx = width;
  col.pszText = text.data();
  col.iSubItem = subItem;
  return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, column, reinterpret_cast<LPARAM>(&col)));
}

DWORD CListCtrl::SetExtendedStyle(DWORD style) {
  assert(::IsWindow(m_hWnd));
  return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, style));
}

BOOL CListCtrl::DeleteAllItems() {
  assert(::IsWindow(m_hWnd));
  return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS));
}

int CListCtrl::InsertItem(int item, const std::string& text) {
  assert(::IsWindow(m_hWnd));
  std::wstring wide = qbase::Utf8ToWide(text);
  LVITEMW lvi{};
  lvi.mask = LVIF_TEXT;
  lvi.iItem = item;
  lvi.iSubItem = 0;
  lvi.pszText = wide.data();
  return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&lvi)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, const std::string& text) {
  assert(::IsWindow(m_hWnd));
  std::wstring wide = qbase::Utf8ToWide(text);
  LVITEMW lvi{};
  lvi.mask = LVIF_TEXT;
  lvi.iSubItem = subItem;
  lvi.pszText = wide.data();
  return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, item, reinterpret_cast<LPARAM>(&lvi)));
}

int CListCtrl::GetNextItem(int start, int flags) const {
  assert(::IsWindow(m_hWnd));
  return static_cast<int>(SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0)));
}

int CListCtrl::SubItemHitTest(LVHITTESTINFO* info) const {
  assert(::IsWindow(m_hWnd));
  return static_cast<int>(SendMessage(LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(info)));
}

}  // namespace qfw
