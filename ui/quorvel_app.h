#pragma once
// The application: its only work is to run the main dialog.

#include "framework/app.h"

namespace quorvel {

class CQuorvelApp : public qfw::CWinApp {
 public:
  // With the program's words for a command that stops with an exception.
  CQuorvelApp();
  void InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

extern CQuorvelApp theApp;

}  // namespace quorvel
