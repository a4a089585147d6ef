#pragma once
// Command targets and windows: the objects that own a message map, and a window handle with the
// few calls the program makes on it. A CWnd stands for one window at a time and does not own it: the
// dialog manager creates and destroys the dialog and its controls. Neither can be copied: a window
// finds its object by address (a dialog keeps `this` in its window), and a copy would be a second
// object for one window.

#include <windows.h>
#include <shellapi.h>

#include <string>

#include "message_map.h"

namespace qfw {

class CCmdTarget {
 public:
  CCmdTarget() = default;
  CCmdTarget(const CCmdTarget&) = delete;
  CCmdTarget& operator=(const CCmdTarget&) = delete;
  virtual ~CCmdTarget() = default;

  // Runs the handler that this object's map (or a base's) has for the message; false if none.
  bool Dispatch(UINT message, UINT code, UINT id, WPARAM wParam, LPARAM lParam, LRESULT& result);

 protected:
  static const MessageMap* GetThisMessageMap();
  virtual const MessageMap* GetMessageMap() const;
};

class CMenu;

class CWnd : public CCmdTarget {
 public:
  HWND m_hWnd = nullptr;

  HWND GetSafeHwnd() const { return m_hWnd; }
  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const;
  void GetClientRect(RECT* rect) const;
  void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
  BOOL IsIconic() const;
  BOOL EnableWindow(BOOL enable = TRUE) { return ::EnableWindow(m_hWnd, enable); }
  BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
  void SetWindowText(const std::string& text);
  HICON SetIcon(HICON icon, BOOL bigIcon);
  // The window's own system menu, not a copy; no menu when the window has none.
  CMenu GetSystemMenu(BOOL revert) const;
  // Files dropped onto the window then come as WM_DROPFILES.
  void DragAcceptFiles(BOOL accept = TRUE) { ::DragAcceptFiles(m_hWnd, accept); }

 protected:
  // Asks, from a handler, that the message it handles get the default processing as well. In a
  // dialog that is the dialog manager's: the dialog procedure returns FALSE, and the manager does
  // its processing (the system command, the painting) once the handler has returned. A dialog
  // procedure never calls DefWindowProc itself.
  void UseDefaultProcessing() { m_defaultWanted = true; }

  bool m_defaultWanted = false;  // for the message being dispatched
};

// A menu that belongs to someone else (a window's menu bar or system menu): a view, not an owner.
class CMenu {
 public:
  explicit CMenu(HMENU menu = nullptr) : m_hMenu(menu) {}
  HMENU m_hMenu;
  explicit operator bool() const { return m_hMenu != nullptr; }
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const std::string& text = {});
};

// BeginPaint and EndPaint, owned: the paint context ends with the object.
class CPaintDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

  HDC GetSafeHdc() const { return m_hDC; }
  BOOL DrawIcon(int x, int y, HICON icon) { return ::DrawIcon(m_hDC, x, y, icon); }

 private:
  HWND m_hWnd;
  PAINTSTRUCT m_ps{};
  HDC m_hDC;
};

// The wait cursor while a long command runs; the previous cursor comes back with the object.
class CWaitCursor {
 public:
  CWaitCursor() : m_previous(::SetCursor(::LoadCursorW(nullptr, IDC_WAIT))) {}
  ~CWaitCursor() { ::SetCursor(m_previous); }
  CWaitCursor(const CWaitCursor&) = delete;
  CWaitCursor& operator=(const CWaitCursor&) = delete;

 private:
  HCURSOR m_previous;
};

}  // namespace qfw
