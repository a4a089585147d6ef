#include "quorvel_dlg.h"

#include <utility>

#include "about_dlg.h"
#include "base/text.h"
#include "framework/app.h"
#include "image_run.h"

namespace quorvel {
namespace {

SystemPrompts& TheSystemPrompts() {
  static SystemPrompts prompts;
  return prompts;
}

}  // namespace

BEGIN_MESSAGE_MAP(CQuorvelDlg, CDialog)
  ON_WM_SYSCOMMAND()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_NOTIFY(NM_DBLCLK, IDC_REGION_LIST, OnRegionListDblClk)
  ON_COMMAND(ID_MENU_OPEN, OnOpenLayout)
  ON_COMMAND(ID_MENU_EXECUTE, OnExecute)
  ON_COMMAND(ID_OPEN_START_LAYOUT, OnOpenStartLayout)
  ON_WM_SIZE()
  ON_WM_DROPFILES()
  ON_MESSAGE(kRunMessage, OnRunMessage)
END_MESSAGE_MAP()

CQuorvelDlg::CQuorvelDlg(qfw::CWnd* parent) : CQuorvelDlg(parent, TheSystemPrompts()) {}

CQuorvelDlg::CQuorvelDlg(qfw::CWnd* parent, UserPrompts& prompts)
    : CDialog(IDD, parent), m_hIcon(qfw::AfxLoadIcon(IDR_MAINFRAME)), m_prompts(prompts) {}

void CQuorvelDlg::DoDataExchange(qfw::CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  qfw::DDX_Control(pDX, IDC_REGION_LIST, m_regionList);
}

BOOL CQuorvelDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  AddAboutEntry();
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  m_regionList.SetExtendedStyle(LVS_EX_FULLROWSELECT);
  m_regions.InsertColumns();
  m_regions.Show({});  // a window of its own: no rows yet
  DragAcceptFiles();
  // Once the window shows, so that a message about the layout has its window behind it.
  if (!m_startLayout.empty()) ::PostMessageW(m_hWnd, WM_COMMAND, ID_OPEN_START_LAYOUT, 0);
  return TRUE;
}

void CQuorvelDlg::AddAboutEntry() {
  qfw::CMenu systemMenu = GetSystemMenu(FALSE);
  if (!systemMenu) return;
  wchar_t text[256] = {};
  if (::LoadStringW(qfw::AfxGetInstanceHandle(), IDS_ABOUTBOX, text, 256) <= 0) return;
  systemMenu.AppendMenu(MF_SEPARATOR);
  systemMenu.AppendMenu(MF_STRING, IDM_ABOUTBOX, qbase::WideToUtf8(text));
}

void CQuorvelDlg::ShowMessage(const Message& message) {
  m_prompts.MessageBox(m_hWnd, MessageText(message, Language::Japanese), "", KindOf(message.id) == MessageKind::Error ? MB_ICONERROR : MB_OK);
}

LRESULT CQuorvelDlg::OnRunMessage(WPARAM, LPARAM message) {
  if (m_run) m_run->EndProgress();
  // The run lasts until its message is answered: the wait cursor again, which the going of the
  // progress window may have taken.
  ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
  ShowMessage(*reinterpret_cast<const Message*>(message));
  return 0;
}

void CQuorvelDlg::ReportFailure(qfw::Failure failure) {
  ShowMessage({failure == qfw::Failure::OutOfMemory ? MessageId::OutOfMemory : MessageId::UnexpectedError});
}

void CQuorvelDlg::OnSysCommand(UINT id, LPARAM /*param*/) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg about(this);
    about.DoModal();
  } else {
    UseDefaultProcessing();
  }
}

void CQuorvelDlg::OnPaint() {
  if (!IsIconic()) {
    UseDefaultProcessing();
    return;
  }
  qfw::CPaintDC dc(this);
  SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
  const int cxIcon = ::GetSystemMetrics(SM_CXICON);
  const int cyIcon = ::GetSystemMetrics(SM_CYICON);
  RECT rect;
  GetClientRect(&rect);
  const POINT at = IconOrigin(rect.right - rect.left, rect.bottom - rect.top, cxIcon, cyIcon);
  dc.DrawIcon(at.x, at.y, m_hIcon);
}

POINT CQuorvelDlg::IconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight) {
  return {(clientWidth - iconWidth + 1) / 2, (clientHeight - iconHeight + 1) / 2};
}

HCURSOR CQuorvelDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

// The dialog manager's own handling of the size (nothing that the list depends on) comes afterwards.
void CQuorvelDlg::OnSize(UINT /*type*/, int cx, int cy) {
  UseDefaultProcessing();
  if (!m_regionList.GetSafeHwnd()) return;
  RECT rect;
  m_regionList.GetClientRect(&rect);
  m_regionList.MoveWindow(rect.left, rect.top, cx - rect.left, cy - rect.top, TRUE);
}

}  // namespace quorvel
