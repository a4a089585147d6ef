#pragma once
// The window that stands over the main dialog while a long image is written: the region being
// written and the share done, and "キャンセル", which asks the run to stop.

#include <functional>
#include <string>

#include "framework/dialog.h"
#include "framework/progress_ctrl.h"
#include "resource.h"

namespace quorvel {

// What the window says of the run: "kernel を書き込んでいます… 42%".
std::string ProgressText(const std::string& region, int percent);

class CProgressDlg : public qfw::CDialog {
 public:
  enum { IDD = IDD_PROGRESS };
  // onCancel is what キャンセル (and Escape) does; the window stays until its owner ends it.
  CProgressDlg(qfw::CWnd* parent, std::function<void()> onCancel) : CDialog(IDD, parent), m_onCancel(std::move(onCancel)) {}

  // Where the run is: the region being written and the share done, in thousandths.
  void Show(const std::string& region, int permille);

 protected:
  void DoDataExchange(qfw::CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnOK() override {}  // Enter does not end the window: only キャンセル or the run's end does
  void OnCancel() override { m_onCancel(); }

  DECLARE_MESSAGE_MAP()

 private:
  qfw::CWnd m_text;
  qfw::CProgressCtrl m_bar;
  std::function<void()> m_onCancel;
  std::string m_shownText;  // set again only when it changes, so that it does not flicker
};

}  // namespace quorvel
