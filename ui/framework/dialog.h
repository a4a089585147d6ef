#pragma once
// Dialogs made from a template in the resources, with data exchange, the default OK and Cancel
// commands, and their messages routed through the message maps.
//
// The dialog procedure keeps the contracts of a dialog: a message without a handler, or whose handler
// asks for the default, returns FALSE to the dialog manager; no exception leaves it (a handler that
// throws ends in the program's error message and the dialog goes on). A dialog object runs one window
// at a time, modal or modeless, and a dialog object that dies first takes its window with it: no
// window is left pointing at a dead object.

#include <windows.h>

#include <vector>

#include "app.h"
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
// stands for that control, until the dialog's window is destroyed. An object bound already to a
// window may not be bound again.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  CDialog(UINT templateId, CWnd* parent);
  // A modeless dialog's window goes with the object; a modal one has ended before.
  ~CDialog() override;

  // Runs the dialog modally: returns the result that ended it (IDOK, IDCANCEL), -1 if it could not
  // be created. The same object may be run again afterwards.
  INT_PTR DoModal();
  // Creates the dialog modeless, for those who drive it themselves (the tests).
  BOOL Create();
  // Ends the dialog with the result: a modal dialog's DoModal returns it, a modeless dialog's
  // window is destroyed.
  void EndDialog(int result);

 protected:
  // Centres the dialog on its parent (or the screen) and gives the focus to the first control.
  virtual BOOL OnInitDialog();
  virtual void DoDataExchange(CDataExchange* pDX);
  virtual void OnOK();
  virtual void OnCancel();
  // Tells the user that a handler stopped with an exception: by default in the application's words
  // (AfxReportFailure).
  virtual void ReportFailure(Failure failure);

  DECLARE_MESSAGE_MAP()

 private:
  friend void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnHandlerFailure(UINT message, Failure failure) noexcept;
  void Detach();
  bool RouteCommand(UINT id, LRESULT& result);
  void CenterWindow();

  UINT m_templateId;
  CWnd* m_pParentWnd;
  std::vector<CWnd*> m_boundControls;
  bool m_modal = false;
  bool m_reportingFailure = false;
};

}  // namespace qfw
