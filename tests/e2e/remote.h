#pragma once
// Working another process's windows from outside, as a user (or a test robot) does. A wait that
// runs out throws, naming what it waited for: the test fails there with that text.

#include <windows.h>

#include <functional>
#include <string>

#include "text.h"

namespace e2e {

// Text between the tests' UTF-8 and the windows' UTF-16.
using quorvel::Utf8ToWide;
using quorvel::WideToUtf8;

// Polls until done() holds: whether it did within the time. Await throws "no <what>" when it did not.
bool Poll(const std::function<bool()>& done, DWORD milliseconds);
void Await(const std::string& what, const std::function<bool()>& done, DWORD milliseconds = 10000);
// A visible top-level dialog-class window of the process that matches.
HWND AwaitDialog(DWORD pid, const std::string& what, const std::function<bool(HWND)>& match);

std::string Text(HWND window);
std::string ClassName(HWND window);
void SetText(HWND window, const std::string& text);
void Click(HWND button);
// The text of a message box, "" for any other window; whether it shows an icon.
std::string MessageBoxText(HWND box);
bool MessageBoxHasIcon(HWND box);

// A list-view control of another process: the texts are read through a buffer allocated there.
class RemoteList {
 public:
  explicit RemoteList(HWND list);
  ~RemoteList();
  RemoteList(const RemoteList&) = delete;
  RemoteList& operator=(const RemoteList&) = delete;
  int Count() const;
  std::string Cell(int row, int column);
  RECT ItemRect(int row);

 private:
  HWND m_list;
  HANDLE m_process = nullptr;
  BYTE* m_remote = nullptr;
};

// Real mouse input: a double click at a point of the screen.
void DoubleClickAt(POINT screen);
// The whole screen as a 24-bit BMP file.
void SaveScreenshot(const std::string& path);

}  // namespace e2e
