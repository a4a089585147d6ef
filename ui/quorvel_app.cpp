#include "quorvel_app.h"

#include "command_line.h"
#include "quorvel_dlg.h"

namespace quorvel {

CQuorvelApp theApp;

BEGIN_MESSAGE_MAP(CQuorvelApp, CWinApp)
  ON_COMMAND(qfw::ID_HELP, OnHelp)
END_MESSAGE_MAP()

// Runs the main dialog, with the layout the program was started with, if any; FALSE so that the
// process ends when the dialog does.
BOOL CQuorvelApp::InitInstance() {
  CQuorvelDlg dlg;
  if (const std::optional<std::string> layout = StartLayoutPath(m_arguments)) dlg.OpenAtStart(*layout);
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}

}  // namespace quorvel
