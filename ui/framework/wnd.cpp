#include "wnd.h"

#include "base/text.h"

namespace qfw {

const MessageMap* CCmdTarget::GetThisMessageMap() {
  static const MessageMapEntry entries[] = {{0, 0, 0, nullptr}};
  static const MessageMap map = {nullptr, entries};
  return &map;
}

const MessageMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

bool CCmdTarget::Dispatch(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  for (const MessageMap* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
    for (const MessageMapEntry* e = map->entries; e->message != 0; ++e) {
      if (e->message == message && e->code == code && e->id == id) return e->invoke(*this, wParam, lParam, result);
    }
  }
  return false;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) const {
  return ::SendMessageW(m_hWnd, message, wParam, lParam);
}

void CWnd::GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
  ::MoveWindow(m_hWnd, x, y, width, height, repaint);
}

void CWnd::SetWindowText(const std::string& text) { ::SetWindowTextW(m_hWnd, qbase::Utf8ToWide(text).c_str()); }

BOOL CWnd::IsIconic() const { return ::IsIconic(m_hWnd); }

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
  return reinterpret_cast<HICON>(SendMessage(WM_SETICON, bigIcon ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
}

CMenu CWnd::GetSystemMenu(BOOL revert) const { return CMenu(::GetSystemMenu(m_hWnd, revert)); }

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, const std::string& text) {
  return ::AppendMenuW(m_hMenu, flags, id, (flags & MF_SEPARATOR) ? nullptr : qbase::Utf8ToWide(text).c_str());
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->m_hWnd), m_hDC(::BeginPaint(m_hWnd, &m_ps)) {}

CPaintDC::~CPaintDC() { ::EndPaint(m_hWnd, &m_ps); }

}  // namespace qfw
