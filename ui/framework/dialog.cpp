#include "dialog.h"

#include <optional>

#include "app.h"

namespace qfw {

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  if (!control.m_hWnd) control.m_hWnd = ::GetDlgItem(pDX->m_pDlgWnd->m_hWnd, id);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, OnOK)
  ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_pParentWnd(parent) {}

INT_PTR CDialog::DoModal() {
  const HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  const INT_PTR result = ::DialogBoxParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_templateId), parent,
                                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

BOOL CDialog::Create() {
  const HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  return ::CreateDialogParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_templateId), parent, &CDialog::DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

BOOL CDialog::OnInitDialog() {
  CenterWindow();
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

// The templates of this program place their dialogs at 0, 0, which the framework takes as centred.
void CDialog::CenterWindow() {
  RECT self, area;
  ::GetWindowRect(m_hWnd, &self);
  const HWND owner = ::GetWindow(m_hWnd, GW_OWNER);
  if (owner && !::IsIconic(owner)) {
    ::GetWindowRect(owner, &area);
  } else {
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  }
  const int width = self.right - self.left;
  const int height = self.bottom - self.top;
  const int x = area.left + ((area.right - area.left) - width) / 2;
  const int y = area.top + ((area.bottom - area.top) - height) / 2;
  ::SetWindowPos(m_hWnd, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    auto* dialog = reinterpret_cast<CDialog*>(lParam);
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    dialog->m_hWnd = hwnd;
  }
  // Messages that come before WM_INITDIALOG find no object and get the default handling.
  auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  return dialog ? dialog->OnMessage(message, wParam, lParam) : FALSE;
}

bool CDialog::RouteCommand(UINT id, LRESULT& result) {
  if (Dispatch(WM_COMMAND, 0, id, 0, 0, result)) return true;
  CWinApp* app = AfxGetApp();
  return app && app->Dispatch(WM_COMMAND, 0, id, 0, 0, result);
}

INT_PTR CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  const CurrentMessage outer = m_current;
  m_current = {message, wParam, lParam};
  LRESULT result = 0;
  bool handled = false;
  std::optional<INT_PTR> direct;  // for the messages whose result is the procedure's own return value
  switch (message) {
    case WM_INITDIALOG: {
      CDataExchange dx(this);
      DoDataExchange(&dx);
      direct = OnInitDialog();
      break;
    }
    case WM_COMMAND:
      // Menu commands, accelerators and button clicks alike; other control notifications are not routed.
      if (HIWORD(wParam) <= 1) handled = RouteCommand(LOWORD(wParam), result);
      break;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      handled = Dispatch(WM_NOTIFY, header->code, static_cast<UINT>(header->idFrom), wParam, lParam, result);
      break;
    }
    default:
      handled = Dispatch(message, 0, 0, wParam, lParam, result);
      if (handled && message == WM_QUERYDRAGICON) direct = static_cast<INT_PTR>(result);
      break;
  }
  m_current = outer;
  if (direct) return *direct;
  if (handled) ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
  return handled ? TRUE : FALSE;
}

}  // namespace qfw
