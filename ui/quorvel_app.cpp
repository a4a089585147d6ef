#include "quorvel_app.h"

#include "quorvel_dlg.h"

namespace quorvel {

CQuorvelApp theApp;

BEGIN_MESSAGE_MAP(CQuorvelApp, CWinApp)
  ON_COMMAND(qfw::ID_HELP, OnHelp)
END_MESSAGE_MAP()

// Runs the main dialog; FALSE so that the process ends when the dialog does.
BOOL CQuorvelApp::InitInstance() {
  CQuorvelDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}

}  // namespace quorvel
