#pragma once
// The application object: one global instance, found by the entry point, which runs its
// InitInstance and ends the process when that returns.

#include <windows.h>

#include "wnd.h"

namespace qfw {

// The framework's help command.
inline constexpr UINT ID_HELP = 0xE146;

class CWinApp : public CCmdTarget {
 public:
  // The one application object registers itself; it lives for the whole process.
  explicit CWinApp(const char* appName = nullptr);
  ~CWinApp() override;

  // Sets the program up and, in a dialog program, runs the main dialog. FALSE ends the process
  // without entering a message loop.
  virtual BOOL InitInstance();


  HINSTANCE m_hInstance = nullptr;
  CWnd* m_pMainWnd = nullptr;

 protected:
  // There is no help file: the help command has nothing to open.
  void OnHelp() {}

  DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// An icon of the program's resources.
HICON AfxLoadIcon(UINT id);

// The framework's entry: registers the common controls, then runs the application object.
int AfxWinMain(HINSTANCE instance);

}  // namespace qfw
