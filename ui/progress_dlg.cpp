#include "progress_dlg.h"

namespace quorvel {

std::string ProgressText(const std::string& region, int percent) {
  return region + " を書き込んでいます… " + std::to_string(percent) + "%";
}

BEGIN_MESSAGE_MAP(CProgressDlg, CDialog)
END_MESSAGE_MAP()

void CProgressDlg::DoDataExchange(qfw::CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  qfw::DDX_Control(pDX, IDC_PROGRESS_TEXT, m_text);
  qfw::DDX_Control(pDX, IDC_PROGRESS_BAR, m_bar);
}

BOOL CProgressDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  m_bar.SetRange32(0, 1000);
  m_shownText.clear();
  return TRUE;
}

void CProgressDlg::Show(const std::string& region, int permille) {
  std::string text = ProgressText(region, permille / 10);
  if (text != m_shownText) m_text.SetWindowText(m_shownText = std::move(text));
  if (m_bar.GetPos() != permille) m_bar.SetPos(permille);
}

}  // namespace quorvel
