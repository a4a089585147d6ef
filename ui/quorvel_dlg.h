#pragma once
// The main dialog: the region list and the menu, the commands that open a layout, assign image
// files and write the image, and the window chrome. It provides ShowMessage to the core, on its own
// thread, also for the writer's.

#include <string>

#include "framework/dialog.h"
#include "framework/list_ctrl.h"
#include "region_list.h"
#include "resource.h"
#include "text/messages.h"
#include "user_prompts.h"

namespace quorvel {

class ImageRun;

class CQuorvelDlg : public qfw::CDialog, public MessageSink {
 public:
  enum { IDD = IDD_MAIN_DIALOG };
  explicit CQuorvelDlg(qfw::CWnd* parent = nullptr);
  // With prompts that answer in the user's place.
  CQuorvelDlg(qfw::CWnd* parent, UserPrompts& prompts);

  // A modal message box with the empty caption, the text in Japanese: an error icon for errors, an
  // OK button always.
  void ShowMessage(const Message& message) override;

  // The layout to open as soon as the window is set up: the one the program was started with.
  void OpenAtStart(const std::string& layoutPath) { m_startLayout = layoutPath; }

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
  void OnOpenStartLayout();
  void OnSize(UINT type, int cx, int cy);
  void OnDropFiles(HDROP drop);
  // A message of the image being written, shown while the writer waits.
  LRESULT OnRunMessage(WPARAM, LPARAM message);
  void ReportFailure(qfw::Failure failure) override;

  DECLARE_MESSAGE_MAP()

 private:
  void AddAboutEntry();
  // Reads the layout into the list, as "開く(&O)" does once a file is chosen.
  void OpenLayout(const std::string& path);
  // The same for a dropped file, which replaces the list only when it is a layout with a region.
  void OpenDroppedLayout(const std::string& path);
  // The row whose rectangle holds the point, in the dialog's client coordinates; -1 for none.
  int RowAt(POINT point) const;

 public:
  qfw::CListCtrl m_regionList;
  HICON m_hIcon;

 private:
  UserPrompts& m_prompts;
  RegionList m_regions{m_regionList};
  std::string m_layoutPath;   // the layout the rows came from; empty when none was read
  std::string m_startLayout;
  ImageRun* m_run = nullptr;  // while an image is written
};

}  // namespace quorvel
