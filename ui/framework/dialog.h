#pragma once
// Dialogs made from a template in the resources, with data exchange, the default OK and Cancel
// commands, and their messages routed through the message maps.

#include <windows.h>

#include "wnd.h"

namespace qfw {

class CDialog;

// What DoDataExchange binds: the dialog whose controls are being bound.
class CDataExchange {
 public:
  explicit CDataExchange(CDialog* dialog) : m_pDlgWnd(dialog) {}
  CDialog* m_pDlgWnd;
};

// Binds the control with the id to the object: from here on the object stands for that control.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  CDialog(UINT templateId, CWnd* parent);

  // Runs the dialog modally: returns the result that ended it (IDOK, IDCANCEL), -1 if it could not
  // be created.
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

  DECLARE_MESSAGE_MAP()

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  bool RouteCommand(UINT id, LRESULT& result);
  void CenterWindow();

  UINT m_templateId;
  CWnd* m_pParentWnd;
};

}  // namespace qfw
