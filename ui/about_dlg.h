#pragma once
// The about box, opened from the main window's system menu.

#include "framework/dialog.h"
#include "resource.h"

namespace quorvel {

class CAboutDlg : public qfw::CDialog {
 public:
  enum { IDD = IDD_ABOUTBOX };
  explicit CAboutDlg(qfw::CWnd* parent = nullptr) : CDialog(IDD, parent) {}

 protected:
  void DoDataExchange(qfw::CDataExchange*) override {}

  DECLARE_MESSAGE_MAP()
};

}  // namespace quorvel
