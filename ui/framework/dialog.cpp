#include "dialog.h"

#include <cassert>
#include <new>
#include <optional>

#include "app.h"

namespace qfw {

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
  CDialog* dialog = pDX->m_pDlgWnd;
  assert(!control.m_hWnd && "one window per object");
  control.m_hWnd = ::GetDlgItem(dialog->m_hWnd, id);
  dialog->m_boundControls.push_back(&control);
}

BEGIN_MESSAGE_MAP(CDialog, CWnd)
  ON_COMMAND(IDOK, OnOK)
  ON_COMMAND(IDCANCEL, OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_pParentWnd(parent) {}

// The controls bound are members of the object that is going, dead by now: they are let go unseen.
CDialog::~CDialog() {
  if (!m_hWnd) return;
  ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
  m_boundControls.clear();
  if (!m_modal) ::DestroyWindow(m_hWnd);
}

INT_PTR CDialog::DoModal() {
  assert(!m_hWnd && "one window per object");
  m_modal = true;
  const HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  const INT_PTR result = ::DialogBoxParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_templateId), parent,
                                           &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  m_hWnd = nullptr;
  return result;
}

BOOL CDialog::Create() {
  assert(!m_hWnd && "one window per object");
  m_modal = false;
  const HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
  return ::CreateDialogParamW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(m_templateId), parent, &CDialog::DialogProc,
                              reinterpret_cast<LPARAM>(this)) != nullptr;
}

void CDialog::EndDialog(int result) {
  if (m_modal) {
    ::EndDialog(m_hWnd, result);
  } else {
    ::DestroyWindow(m_hWnd);
  }
}

BOOL CDialog::OnInitDialog() {
  CenterWindow();
  return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

void CDialog::OnOK() { EndDialog(IDOK); }

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::ReportFailure(Failure failure) { AfxReportFailure(m_hWnd, failure); }

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

// The barrier between the handlers and the system: no exception goes further than this.
INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    auto* created = reinterpret_cast<CDialog*>(lParam);
    assert(!created->m_hWnd && "one window per object");
    created->m_hWnd = hwnd;
  }
  // Messages that come before WM_INITDIALOG find no object and get the dialog manager's default.
  auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
  if (!dialog) return FALSE;
  INT_PTR result = FALSE;
  try {
    result = dialog->OnMessage(message, wParam, lParam);
  } catch (const std::bad_alloc&) {
    result = dialog->OnHandlerFailure(message, Failure::OutOfMemory);
  } catch (...) {
    result = dialog->OnHandlerFailure(message, Failure::Unexpected);
  }
  if (message == WM_NCDESTROY) dialog->Detach();
  return result;
}

// The message counts as handled: the command it carried has stopped, and the user is told why.
INT_PTR CDialog::OnHandlerFailure(UINT message, Failure failure) noexcept {
  // A paint that failed would otherwise come back at once, and with it the message.
  if (message == WM_PAINT) ::ValidateRect(m_hWnd, nullptr);
  // One message at a time: failures while it is shown (its own paints, say) are not told again.
  if (!m_reportingFailure) {
    m_reportingFailure = true;
    try {
      ReportFailure(failure);
    } catch (...) {
      AfxReportFailure(m_hWnd, failure);  // the application's words, which need no memory
    }
    m_reportingFailure = false;
  }
  ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, 0);
  return TRUE;
}

// The window is gone: neither the dialog nor its bound controls stand for it any more.
void CDialog::Detach() {
  ::SetWindowLongPtrW(m_hWnd, DWLP_USER, 0);
  for (CWnd* control : m_boundControls) control->m_hWnd = nullptr;
  m_boundControls.clear();
  m_hWnd = nullptr;
}

bool CDialog::RouteCommand(UINT id, LRESULT& result) {
  if (Dispatch(WM_COMMAND, 0, id, 0, 0, result)) return true;
  CWinApp* app = AfxGetApp();
  return app && app->Dispatch(WM_COMMAND, 0, id, 0, 0, result);
}

INT_PTR CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  struct Scope {  // the outer message's wish, restored however the handler ends
    bool& slot;
    const bool outer;
    ~Scope() { slot = outer; }
  } scope{m_defaultWanted, m_defaultWanted};
  m_defaultWanted = false;
  LRESULT result = 0;
  bool handled = false;
  std::optional<INT_PTR> direct;  // for the messages whose result is the procedure's own return value
  switch (message) {
    case WM_INITDIALOG: {
      m_boundControls.clear();
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
  if (direct) return *direct;
  if (!handled || m_defaultWanted) return FALSE;  // the dialog manager's default processing
  ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, result);
  return TRUE;
}

}  // namespace qfw
