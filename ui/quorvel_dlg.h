#pragma once
// The main dialog: the region list and the menu, the commands that open a layout, assign image
// files and write the image, and the window chrome. It provides ShowMessage to the core.

#include <string>

#include "framework/dialog.h"
#include "framework/list_ctrl.h"
#include "list_region_table.h"
#include "messages.h"
#include "resource.h"
#include "user_prompts.h"

namespace quorvel {

class CQuorvelDlg : public qfw::CDialog, public MessageSink {
 public:
  enum { IDD = IDD_MAIN_DIALOG };
  explicit CQuorvelDlg(qfw::CWnd* parent = nullptr);
  // With prompts that answer in the user's place.
  CQuorvelDlg(qfw::CWnd* parent, UserPrompts& prompts);

  // A modal message box with the empty caption: an error icon for errors, an OK button always.
  void ShowMessage(const std::string& text, MessageKind kind) override;

  // Where the minimised window draws its icon: centred, the halves rounded towards zero.
  static POINT IconOrigin(int clientWidth, int clientHeight, int iconWidth, int iconHeight);

 protected:
  void DoDataExchange(qfw::CDataExchange* pDX) override;
  BOOL OnInitDialog() override;

  void OnSysCommand(UINT id, LPARAM param);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnRegionListDblClk(NMHDR* header, LRESULT* result);
  void OnOpenLayout();
  void OnExecute();
  void OnSize(UINT type, int cx, int cy);

  DECLARE_MESSAGE_MAP()

 private:
  void AddAboutEntry();
  void InsertColumns();

 public:
  qfw::CListCtrl m_regionList;
  HICON m_hIcon;

 private:
  UserPrompts& m_prompts;
  ListRegionTable m_regions{m_regionList};
};

}  // namespace quorvel
