#include "app.h"

#include <commctrl.h>
#include <shellapi.h>

#include <new>

#include "base/text.h"

namespace qfw {
namespace {

CWinApp* g_app = nullptr;

// The array of arguments that CommandLineToArgvW hands out, owned.
struct ArgumentArray {
  LPWSTR* argv;
  ~ArgumentArray() { ::LocalFree(argv); }
};

}  // namespace

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp() { g_app = this; }

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetInstanceHandle() { return g_app && g_app->m_hInstance ? g_app->m_hInstance : ::GetModuleHandleW(nullptr); }

HICON AfxLoadIcon(UINT id) { return ::LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(id)); }

void AfxReportFailure(HWND owner, Failure failure) noexcept {
  if (!g_app) return;
  const std::wstring& text = failure == Failure::OutOfMemory ? g_app->m_outOfMemoryText : g_app->m_unexpectedErrorText;
  if (!text.empty()) ::MessageBoxW(owner, text.c_str(), L"", MB_ICONERROR);
}

std::vector<std::string> AfxCommandLineArguments(const wchar_t* commandLine) {
  int count = 0;
  const ArgumentArray arguments{::CommandLineToArgvW(commandLine, &count)};
  if (!arguments.argv) return {};
  std::vector<std::string> result;
  for (int i = 1; i < count; ++i) result.push_back(qbase::WideToUtf8(arguments.argv[i]));
  return result;
}

int AfxWinMain(HINSTANCE instance) {
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  try {
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    app->m_hInstance = instance;
    app->m_arguments = AfxCommandLineArguments(::GetCommandLineW());
    app->InitInstance();
    return 0;
  } catch (const std::bad_alloc&) {
    AfxReportFailure(nullptr, Failure::OutOfMemory);
  } catch (...) {
    AfxReportFailure(nullptr, Failure::Unexpected);
  }
  return 1;
}

}  // namespace qfw
