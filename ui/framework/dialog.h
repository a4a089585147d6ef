#pragma once
// Dialogs made from a template in the resources, with data exchange, the default OK and Cancel
// commands, and their messages routed through the message maps.
//
// The dialog procedure keeps the contracts of a dialog: a message without a handler, or whose handler
// asks for the default, returns FALSE to the dialog manager; no exception leaves it (a handler that
// throws ends in an error message and the dialog goes on).

#include <windows.h>

#include <string>
#include <vector>

#include "wnd.h"

namespace qfw {

class CDialog;

// What DoDataExchange binds: the dialog whose controls are being bound.
class CDataExchange {
 public:
  explicit CDataExchange(CDialog* dialog) : m_pDlgWnd(dialog) {}
  CDialog* m_pDlgWnd;
};

// Binds the control with the id to the object, at every WM_INITDIALOG: from here on the object
// stands for that control, until the dialog's window is destroyed.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

// What the user is told when a handler fails with an exception: std::bad_alloc, anything else.
inline constexpr wchar_t kOutOfMemoryText[] = L"メモリが足りません。";
inline constexpr wchar_t kUnexpectedErrorText[] = L"予期しないエラーが発生しました。";

class CDialog : public CWnd {
 public:
  CDialog(UINT templateId, CWnd* parent);

  // Runs the dialog modally: returns the result that ended it (IDOK, IDCANCEL), -1 if it could not
  // be created. The same object may be run again afterwards.
  INT_PTR DoModal();
  // Creates the dialog modeless, for those who drive it themselves (the tests).
  BOOL Create();
  void EndDialog(int result);

 protected:
  // Centres the dialog on its parent (or the screen) and gives the focus to the first control.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual void OnOK();
  virtual void OnCancel();
  // Tells the user of a failure that stopped a handler: by default an error message box.
  virtual void ReportError(const std::string& text);

  DECLARE_MESSAGE_MAP()

 private:
  friend void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnHandlerFailure(UINT message, const wchar_t* text) noexcept;
  void Detach();
  bool RouteCommand(UINT id, LRESULT& result);
  void CenterWindow();

  UINT m_templateId;
  CWnd* m_pParentWnd;
  std::vector<CWnd*> m_boundControls;
  bool m_reportingFailure = false;
};

}  // namespace qfw
