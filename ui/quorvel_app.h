#pragma once
// The application: its only work is to run the main dialog.

#include "framework/app.h"

namespace quorvel {

class CQuorvelApp : public qfw::CWinApp {
 public:
  CQuorvelApp() = default;
  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

extern CQuorvelApp theApp;

}  // namespace quorvel
