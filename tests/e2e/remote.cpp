#include "remote.h"

#include <commctrl.h>

#include <cstring>

#include "text.h"

namespace e2e {
namespace {

constexpr size_t kRemoteBytes = 65536;

}  // namespace

std::wstring Wide(const std::string& utf8) {
  const std::u16string wide = quorvel::Utf8ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(const std::wstring& wide) { return quorvel::Utf16ToUtf8(std::u16string(wide.begin(), wide.end())); }

Process::Process(const std::wstring& exe, const std::wstring& workDir) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  std::wstring command = L"\"" + exe + L"\"";
  if (!::CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, workDir.c_str(), &si, &m_info)) {
    m_info = {};
  }
}

Process::~Process() {
  if (!m_info.hProcess) return;
  if (::WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT) {
    ::TerminateProcess(m_info.hProcess, 99);
    ::WaitForSingleObject(m_info.hProcess, 5000);
  }
  ::CloseHandle(m_info.hThread);
  ::CloseHandle(m_info.hProcess);
}

bool Process::WaitExit(DWORD milliseconds, DWORD* code) {
  if (::WaitForSingleObject(m_info.hProcess, milliseconds) != WAIT_OBJECT_0) return false;
  if (code) ::GetExitCodeProcess(m_info.hProcess, code);
  return true;
}

bool WaitFor(const std::function<bool()>& done, DWORD milliseconds) {
  const ULONGLONG end = ::GetTickCount64() + milliseconds;
  while (!done()) {
    if (::GetTickCount64() > end) return false;
    ::Sleep(50);
  }
  return true;
}

namespace {

struct WindowSearch {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND hwnd, LPARAM param) {
  auto* search = reinterpret_cast<WindowSearch*>(param);
  DWORD owner = 0;
  ::GetWindowThreadProcessId(hwnd, &owner);
  if (owner == search->pid && ::IsWindowVisible(hwnd)) search->found.push_back(hwnd);
  return TRUE;
}

}  // namespace

std::vector<HWND> TopWindows(DWORD pid) {
  WindowSearch search{pid, {}};
  ::EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindTopWindow(DWORD pid, const std::wstring& cls, const std::wstring& caption) {
  for (const HWND hwnd : TopWindows(pid)) {
    wchar_t name[256] = {};
    ::GetClassNameW(hwnd, name, 256);
    if (cls == name && Wide(Text(hwnd)) == caption) return hwnd;
  }
  return nullptr;
}

HWND WaitTopWindow(DWORD pid, const std::wstring& cls, const std::wstring& caption, DWORD milliseconds) {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindTopWindow(pid, cls, caption)) != nullptr; }, milliseconds);
  return found;
}

std::string Text(HWND window) {
  wchar_t text[4096] = {};
  DWORD_PTR copied = 0;
  ::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, &copied);
  return Narrow(text);
}

void SetText(HWND window, const std::string& text) {
  const std::wstring wide = Wide(text);
  ::SendMessageW(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

// The text and the icon of a message box are its statics with these ids.
constexpr int kMessageBoxText = 0xFFFF;
constexpr int kMessageBoxIcon = 0x0440;

std::string MessageBoxText(HWND box) {
  const HWND text = ::GetDlgItem(box, kMessageBoxText);
  return text ? Text(text) : std::string();
}

bool MessageBoxHasIcon(HWND box) {
  const HWND icon = ::GetDlgItem(box, kMessageBoxIcon);
  return icon && ::IsWindowVisible(icon) && ::SendMessageW(icon, STM_GETICON, 0, 0) != 0;
}

RemoteList::RemoteList(HWND list) : m_list(list), m_process(nullptr), m_remote(nullptr) {
  DWORD pid = 0;
  ::GetWindowThreadProcessId(list, &pid);
  m_process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
  if (m_process) m_remote = ::VirtualAllocEx(m_process, nullptr, kRemoteBytes, MEM_COMMIT, PAGE_READWRITE);
}

RemoteList::~RemoteList() {
  if (m_remote) ::VirtualFreeEx(m_process, m_remote, 0, MEM_RELEASE);
  if (m_process) ::CloseHandle(m_process);
}

int RemoteList::Count() const { return static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0)); }

std::string RemoteList::Cell(int row, int column) {
  auto* base = static_cast<BYTE*>(m_remote);
  LVITEMW item{};
  item.iSubItem = column;
  item.pszText = reinterpret_cast<LPWSTR>(base + sizeof item);
  item.cchTextMax = static_cast<int>((kRemoteBytes - sizeof item) / sizeof(wchar_t));
  ::WriteProcessMemory(m_process, base, &item, sizeof item, nullptr);
  const auto length = static_cast<size_t>(::SendMessageW(m_list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(base)));
  std::wstring text(length, L'\0');
  ::ReadProcessMemory(m_process, base + sizeof item, text.data(), length * sizeof(wchar_t), nullptr);
  return Narrow(text);
}

std::string RemoteList::Header(int column, int* width) {
  auto* base = static_cast<BYTE*>(m_remote);
  LVCOLUMNW col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH;
  col.pszText = reinterpret_cast<LPWSTR>(base + sizeof col);
  col.cchTextMax = 256;
  ::WriteProcessMemory(m_process, base, &col, sizeof col, nullptr);
  if (!::SendMessageW(m_list, LVM_GETCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(base))) return "(none)";
  ::ReadProcessMemory(m_process, base, &col, sizeof col, nullptr);
  wchar_t text[256] = {};
  ::ReadProcessMemory(m_process, base + sizeof col, text, sizeof text - sizeof(wchar_t), nullptr);
  if (width) *width = col.cx;
  return Narrow(text);
}

RECT RemoteList::ItemRect(int row) {
  RECT rect{LVIR_BOUNDS, 0, 0, 0};
  ::WriteProcessMemory(m_process, m_remote, &rect, sizeof rect, nullptr);
  ::SendMessageW(m_list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(m_remote));
  ::ReadProcessMemory(m_process, m_remote, &rect, sizeof rect, nullptr);
  return rect;
}

void DoubleClickAt(POINT screen) {
  ::SetCursorPos(screen.x, screen.y);
  // Two clicks with a human pause between them, well inside the double-click time.
  for (int click = 0; click < 2; ++click) {
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ::SendInput(2, inputs, sizeof(INPUT));
    if (click == 0) ::Sleep(120);
  }
}

bool SaveScreenshot(const std::wstring& path) {
  const HDC screen = ::GetDC(nullptr);
  const int width = ::GetDeviceCaps(screen, HORZRES);
  const int height = ::GetDeviceCaps(screen, VERTRES);
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  void* bits = nullptr;
  const HBITMAP bitmap = ::CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  const HDC memory = ::CreateCompatibleDC(screen);
  const HGDIOBJ old = ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  ::SelectObject(memory, old);
  const DWORD stride = ((static_cast<DWORD>(width) * 3 + 3) & ~3u);
  const DWORD imageBytes = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + imageBytes;
  bool ok = false;
  const HANDLE out = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out != INVALID_HANDLE_VALUE) {
    DWORD put = 0;
    ok = ::WriteFile(out, &file, sizeof file, &put, nullptr) && ::WriteFile(out, &info, sizeof info, &put, nullptr) &&
         ::WriteFile(out, bits, imageBytes, &put, nullptr);
    ::CloseHandle(out);
  }
  ::DeleteDC(memory);
  ::DeleteObject(bitmap);
  ::ReleaseDC(nullptr, screen);
  return ok;
}

}  // namespace e2e
