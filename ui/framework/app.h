#pragma once
// The application object: one global instance, found by the entry point, which runs its
// InitInstance and ends the process when that returns.

#include <windows.h>

#include <string>
#include <vector>

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
  // What the program was started with, after its own name: one entry per argument, unquoted.
  std::vector<std::string> m_arguments;

 protected:
  // There is no help file: the help command has nothing to open.
  void OnHelp() {}

  DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// An icon of the program's resources.
HICON AfxLoadIcon(UINT id);

// The arguments of a command line as the program's own startup reads them, without the program's name.
std::vector<std::string> AfxCommandLineArguments(const wchar_t* commandLine);

// The framework's entry: registers the common controls, then runs the application object. An
// exception that escapes it ends in an error message, not in a crash.
int AfxWinMain(HINSTANCE instance);

}  // namespace qfw
