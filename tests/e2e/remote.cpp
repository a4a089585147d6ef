#include "remote.h"

#include <commctrl.h>

#include <stdexcept>
#include <vector>

#include "test_support.h"
#include "text.h"

namespace e2e {
namespace {

constexpr size_t kRemoteBytes = 65536;
// The text and the icon of a message box are statics with these ids.
constexpr int kMessageBoxText = 0xFFFF;
constexpr int kMessageBoxIcon = 0x0440;

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  auto& [pid, found] = *reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(hwnd, &owner);
  if (owner == pid) found.push_back(hwnd);
  return TRUE;
}

HWND FindDialog(DWORD pid, const std::function<bool(HWND)>& match) {
  std::pair<DWORD, std::vector<HWND>> search{pid, {}};
  ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
  for (const HWND w : search.second) {
    if (::IsWindowVisible(w) && ClassName(w) == "#32770" && match(w)) return w;
  }
  return nullptr;
}

}  // namespace


bool Poll(const std::function<bool()>& done, DWORD milliseconds) {
  for (const ULONGLONG end = ::GetTickCount64() + milliseconds; !done(); ::Sleep(30)) {
    if (::GetTickCount64() > end) return false;
  }
  return true;
}

void Await(const std::string& what, const std::function<bool()>& done, DWORD milliseconds) {
  if (!Poll(done, milliseconds)) throw std::runtime_error("no " + what + " within " + std::to_string(milliseconds) + " ms");
}

HWND AwaitDialog(DWORD pid, const std::string& what, const std::function<bool(HWND)>& match) {
  HWND found = nullptr;
  Await(what, [&] { return (found = FindDialog(pid, match)) != nullptr; });
  return found;
}

std::string Text(HWND window) {
  wchar_t text[4096] = {};
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
  return WideToUtf8(text);
}

std::string ClassName(HWND window) {
  wchar_t name[256] = {};
  ::GetClassNameW(window, name, 256);
  return WideToUtf8(name);
}

void SetText(HWND window, const std::string& text) {
  ::SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Utf8ToWide(text).c_str()));
}

void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

std::string MessageBoxText(HWND box) {
  const HWND text = ::GetDlgItem(box, kMessageBoxText);
  return text ? Text(text) : std::string();
}

bool MessageBoxHasIcon(HWND box) {
  const HWND icon = ::GetDlgItem(box, kMessageBoxIcon);
  return icon && ::IsWindowVisible(icon) && ::SendMessageW(icon, STM_GETICON, 0, 0) != 0;
}

RemoteList::RemoteList(HWND list) : m_list(list) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(list, &pid);
  m_process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (m_process) m_remote = static_cast<BYTE*>(::VirtualAllocEx(m_process, nullptr, kRemoteBytes, MEM_COMMIT, PAGE_READWRITE));
  if (!m_remote) throw std::runtime_error("no access to the list's process");
}

RemoteList::~RemoteList() {
  ::VirtualFreeEx(m_process, m_remote, 0, MEM_RELEASE);
  ::CloseHandle(m_process);
}

int RemoteList::Count() const { return static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)); }

std::string RemoteList::Cell(int row, int column) {
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<LPWSTR>(m_remote + sizeof item);
  item.cchTextMax = static_cast<int>((kRemoteBytes - sizeof item) / sizeof(wchar_t));
  ::WriteProcessMemory(m_process, m_remote, &item, sizeof item, nullptr);
  const auto length = static_cast<size_t>(::SendMessageW(m_list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(m_remote)));
  std::wstring text(length, L'\0');
  ::ReadProcessMemory(m_process, m_remote + sizeof item, text.data(), length * sizeof(wchar_t), nullptr);
  return WideToUtf8(text);
}

RECT RemoteList::ItemRect(int row) {
  RECT rect{LVIR_BOUNDS, 0, 0, 0};
  ::WriteProcessMemory(m_process, m_remote, &rect, sizeof rect, nullptr);
  ::SendMessageW(m_list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(m_remote));
  ::ReadProcessMemory(m_process, m_remote, &rect, sizeof rect, nullptr);
  return rect;
}

void DoubleClickAt(POINT screen) {
  // The point goes with each event: a pointer moved beforehand may not have arrived yet.
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dx = MulDiv(screen.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1);
  input.mi.dy = MulDiv(screen.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
  // Two clicks with a human pause between them, well inside the double-click time.
  for (const DWORD button : {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}) {
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | button;
    ::SendInput(1, &input, sizeof input);
    ::Sleep(button == MOUSEEVENTF_LEFTUP ? 100 : 0);
  }
}

void SaveScreenshot(const std::string& path) {
  const HDC screen = ::GetDC(nullptr);
  BITMAPINFOHEADER info{sizeof info, ::GetDeviceCaps(screen, HORZRES), ::GetDeviceCaps(screen, VERTRES), 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const HDC memory = ::CreateCompatibleDC(screen);
  const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, info.biWidth, info.biHeight);
  const HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, 0, 0, SRCCOPY);
  ::SelectObject(memory, old);
  std::string bits(static_cast<size_t>((info.biWidth * 3 + 3) & ~3) * static_cast<size_t>(info.biHeight), '\0');
  ::GetDIBits(memory, bitmap, 0, static_cast<UINT>(info.biHeight), bits.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof info;
  const BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(offset + bits.size()), 0, 0, offset};
  quorvel::testing::WriteBytes(path, std::string(reinterpret_cast<const char*>(&file), sizeof file) +
                                         std::string(reinterpret_cast<const char*>(&info), sizeof info) + bits);
}

}  // namespace e2e
