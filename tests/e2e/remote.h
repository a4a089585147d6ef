#pragma once
// Looking at and working another process's windows from outside, as a user (or a test robot) does.

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// A process started by the driver; killed if still running when the object goes.
class Process {
 public:
  Process(const std::wstring& exe, const std::wstring& workDir);
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  bool Started() const { return m_info.hProcess != nullptr; }
  DWORD Id() const { return m_info.dwProcessId; }
  HANDLE Handle() const { return m_info.hProcess; }
  // The exit code once the process has ended within the time, else nothing.
  bool WaitExit(DWORD milliseconds, DWORD* code = nullptr);

 private:
  PROCESS_INFORMATION m_info{};
};

// Polls until the predicate holds or the time is up.
bool WaitFor(const std::function<bool()>& done, DWORD milliseconds = 10000);

// The process's visible top-level window of the class with the caption.
HWND FindTopWindow(DWORD pid, const std::wstring& cls, const std::wstring& caption);
HWND WaitTopWindow(DWORD pid, const std::wstring& cls, const std::wstring& caption, DWORD milliseconds = 10000);
// A visible top-level window of the process other than those given: a dialog it has just opened.
std::vector<HWND> TopWindows(DWORD pid);

std::string Text(HWND window);
void SetText(HWND window, const std::string& text);
void Click(HWND button);
// The message box's text, or "" when the window is not one.
std::string MessageBoxText(HWND box);
bool MessageBoxHasIcon(HWND box);

// A list-view control in another process: its memory is read through a buffer allocated there.
class RemoteList {
 public:
  explicit RemoteList(HWND list);
  ~RemoteList();
  RemoteList(const RemoteList&) = delete;
  RemoteList& operator=(const RemoteList&) = delete;

  int Count() const;
  std::string Cell(int row, int column);
  std::string Header(int column, int* width);
  RECT ItemRect(int row);

 private:
  HWND m_list;
  HANDLE m_process;
  void* m_remote;
};

// Real mouse input: a double click at a point of the screen.
void DoubleClickAt(POINT screen);
// The whole virtual desktop as a 24-bit BMP file.
bool SaveScreenshot(const std::wstring& path);

}  // namespace e2e
