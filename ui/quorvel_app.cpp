#include "quorvel_app.h"

#include "base/text.h"
#include "command_line.h"
#include "quorvel_dlg.h"
#include "text/messages.h"

namespace quorvel {

CQuorvelApp theApp;

BEGIN_MESSAGE_MAP(CQuorvelApp, CWinApp)
  ON_COMMAND(qfw::ID_HELP, OnHelp)
END_MESSAGE_MAP()

CQuorvelApp::CQuorvelApp() {
  m_outOfMemoryText = qbase::Utf8ToWide(MessageText({MessageId::OutOfMemory}, Language::Japanese));
  m_unexpectedErrorText = qbase::Utf8ToWide(MessageText({MessageId::UnexpectedError}, Language::Japanese));
}

// Runs the main dialog, with the layout the program was started with, if any; the process ends
// when the dialog does.
void CQuorvelApp::InitInstance() {
  CQuorvelDlg dlg;
  if (const std::optional<std::string> layout = StartLayoutPath(m_arguments)) dlg.OpenAtStart(*layout);
  dlg.DoModal();
}

}  // namespace quorvel
