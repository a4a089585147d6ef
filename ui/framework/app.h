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

// Why a command stopped with an exception: std::bad_alloc, or anything else.
enum class Failure { OutOfMemory, Unexpected };

class CWinApp : public CCmdTarget {
 public:
  // The one application object registers itself; it lives for the whole process.
  CWinApp();
  ~CWinApp() override;

  // Sets the program up and, in a dialog program, runs the main dialog; the process ends when it
  // returns.
  virtual void InitInstance() {}

  HINSTANCE m_hInstance = nullptr;
  // What the program was started with, after its own name: one entry per argument, unquoted.
  std::vector<std::string> m_arguments;
  // What the user is told of each failure, in the program's words (the framework has none of its
  // own): given before anything can fail, so that telling of a failure needs no memory.
  std::wstring m_outOfMemoryText;
  std::wstring m_unexpectedErrorText;

 protected:
  // There is no help file: the help command has nothing to open.
  void OnHelp() {}

  DECLARE_MESSAGE_MAP()
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// An icon of the program's resources.
HICON AfxLoadIcon(UINT id);

// Tells the user of the failure in an error message box owned by owner, in the application's
// words; nothing when there are none.
void AfxReportFailure(HWND owner, Failure failure) noexcept;

// The arguments of a command line as the program's own startup reads them, without the program's name.
std::vector<std::string> AfxCommandLineArguments(const wchar_t* commandLine);

// The framework's entry: registers the common controls, then runs the application object. An
// exception that escapes it ends in the application's error message, not in a crash.
int AfxWinMain(HINSTANCE instance);

}  // namespace qfw
