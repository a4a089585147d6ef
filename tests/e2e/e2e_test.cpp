// The real Quorvel.exe, worked from outside as a user works it: commands, real double-clicks, the
// system's file choosers and message boxes, files dropped onto its window; screenshots of the main
// states. Each test starts the program afresh in a folder of its own.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>

#include "base/text.h"
#include "resource.h"
#include "test_support.h"

namespace quorvel {
namespace {

using qbase::Utf8ToWide;
using qbase::WideToUtf8;

const std::string kOpenTitle = "ファイルを選択して下さい";
const std::string kWritten = "イメージファイルを作成しました。";

// The program under test: the build's own, or the one that QUORVEL_EXE names (a packaged copy).
std::string Exe() {
  const wchar_t* chosen = ::_wgetenv(L"QUORVEL_EXE");
  return chosen && *chosen ? WideToUtf8(chosen) : QUORVEL_EXE;
}
// A file of the examples, its path with backslashes as the file choosers take one.
std::string Example(const std::string& name) { return testing::Utf8Path(testing::FsPath(QUORVEL_EXAMPLES "/" + name).make_preferred()); }

// Polls until done() holds; a wait that runs out throws, and the test fails there, naming what it waited for.
void Await(const std::string& what, const std::function<bool()>& done) {
  for (const ULONGLONG end = ::GetTickCount64() + 10000; !done(); ::Sleep(30)) {
    if (::GetTickCount64() > end) throw std::runtime_error("no " + what + " within 10 s");
  }
}

std::string Text(HWND window) {
  wchar_t text[1024] = {};
  ::SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000, nullptr);
  return WideToUtf8(text);
}
void Click(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

// The whole screen as a 24-bit BMP file in the screenshots folder.
void Shot(const std::string& name) {
  ::Sleep(250);  // the windows finish painting
  const HDC screen = ::GetDC(nullptr), memory = ::CreateCompatibleDC(screen);
  BITMAPINFOHEADER info{sizeof info, ::GetDeviceCaps(screen, HORZRES), ::GetDeviceCaps(screen, VERTRES), 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  const HBITMAP bitmap = ::CreateCompatibleBitmap(screen, info.biWidth, info.biHeight);
  ::SelectObject(memory, bitmap);
  ::BitBlt(memory, 0, 0, info.biWidth, info.biHeight, screen, 0, 0, SRCCOPY);
  ::DeleteDC(memory);  // which lets the bitmap go, so that its bits can be read
  std::string bits(static_cast<size_t>((info.biWidth * 3 + 3) & ~3) * static_cast<size_t>(info.biHeight), '\0');
  ::GetDIBits(screen, bitmap, 0, static_cast<UINT>(info.biHeight), bits.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  ::DeleteObject(bitmap);
  ::ReleaseDC(nullptr, screen);
  const BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof file + sizeof info + bits.size()), 0, 0, sizeof file + sizeof info};
  std::filesystem::create_directories(QUORVEL_SHOTS);
  testing::WriteBytes(QUORVEL_SHOTS "/" + name + ".bmp", std::string(reinterpret_cast<const char*>(&file), sizeof file) +
                                                              std::string(reinterpret_cast<const char*>(&info), sizeof info) + bits);
}

class Quorvel : public ::testing::Test {
 protected:
  // Starts the program with the argument after its name on its command line.
  void Start(const std::string& argument = "") {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + Utf8ToWide(Exe()) + L"\"" + Utf8ToWide(argument);
    ASSERT_TRUE(::CreateProcessW(Utf8ToWide(Exe()).c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 Utf8ToWide(m_dir.Path("")).c_str(), &startup, &m_process))
        << Exe();
    m_main = AwaitWindow("ミルテカ");
    m_list = ::GetDlgItem(m_main, IDC_REGION_LIST);
    ::SetForegroundWindow(m_main);
  }
  void TearDown() override {
    if (!Ended(0)) ::TerminateProcess(m_process.hProcess, 99), Ended(5000);
    ::CloseHandle(m_process.hThread);
    ::CloseHandle(m_process.hProcess);
  }

  // Sends a message that carries a pointer (in lParam; a drop's in wParam) to a window of the program,
  // pointing at a copy of data in the program's memory, which goes with the program; data as it was left.
  void SendThere(HWND window, UINT message, WPARAM wParam, void* data, size_t size) {
    void* there = ::VirtualAllocEx(m_process.hProcess, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    if (!there || !::WriteProcessMemory(m_process.hProcess, there, data, size, nullptr)) throw std::runtime_error("no access to the program");
    const bool drop = message == WM_DROPFILES;
    ::SendMessageW(window, message, drop ? reinterpret_cast<WPARAM>(there) : wParam, drop ? 0 : reinterpret_cast<LPARAM>(there));
    ::ReadProcessMemory(m_process.hProcess, there, data, size, nullptr);
  }
  bool Ended(DWORD milliseconds) { return ::WaitForSingleObject(m_process.hProcess, milliseconds) == WAIT_OBJECT_0; }
  void Post(UINT message, WPARAM wParam) { ::PostMessageW(m_main, message, wParam, 0); }
  // A visible dialog-class window of the program (it has one thread) that matches.
  HWND AwaitDialog(const std::string& what, const std::function<bool(HWND)>& match) {
    HWND found = nullptr;
    Await(what, [&] {
      for (found = nullptr; (found = ::FindWindowExW(nullptr, found, L"#32770", nullptr));) {
        if (::GetWindowThreadProcessId(found, nullptr) == m_process.dwThreadId && ::IsWindowVisible(found) && match(found)) return true;
      }
      return false;
    });
    return found;
  }
  HWND AwaitWindow(const std::string& caption) { return AwaitDialog(caption, [&](HWND w) { return Text(w) == caption; }); }
  void AwaitClosed(const std::string& what, HWND window) { Await("closing of the " + what, [&] { return !::IsWindow(window); }); }
  void AwaitRows(int n) { Await(std::to_string(n) + " rows", [&] { return ::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0) == n; }); }
  // Awaits the chooser with the title, types the path into its file-name box (combo box cmb13) and
  // presses OK.
  HWND Choose(const std::string& title, const std::string& path) {
    const HWND chooser = AwaitWindow(title);
    EXPECT_EQ(::GetWindow(chooser, GW_OWNER), m_main);
    ::SendMessageW(::GetDlgItem(chooser, 0x47C), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Utf8ToWide(path).c_str()));
    Click(::GetDlgItem(chooser, IDOK));
    return chooser;
  }
  // A point on the row, in the list's client coordinates.
  POINT RowPoint(int row) {
    RECT rect{LVIR_BOUNDS, 0, 0, 0};
    SendThere(m_list, LVM_GETITEMRECT, static_cast<WPARAM>(row), &rect, sizeof rect);
    return {rect.left + 20, (rect.top + rect.bottom) / 2};
  }
  // Drops the file onto the main window at the point of its client area, as the shell hands a drop over.
  void Drop(const std::string& path, POINT at) {
    struct { DROPFILES header; wchar_t names[1024]; } drop{{sizeof(DROPFILES), at, FALSE, TRUE}, {}};  // the names end in zeros
    Utf8ToWide(path).copy(drop.names, 1022);
    SendThere(m_main, WM_DROPFILES, 0, &drop, sizeof drop);
  }
  // Double-clicks the row with the mouse, as a user does, and chooses the image for it.
  void Assign(int row, const std::string& image) {
    Await("main window taking input", [&] { return ::IsWindowEnabled(m_main) != FALSE; });
    POINT point = RowPoint(row);
    ::ClientToScreen(m_list, &point);
    ::SetForegroundWindow(m_main);
    // Two clicks with a human pause, well inside the double-click time; the point goes with each.
    const int x = ::MulDiv(point.x, 65535, ::GetSystemMetrics(SM_CXSCREEN) - 1), y = ::MulDiv(point.y, 65535, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    for (const DWORD button : {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP}) {
      ::mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | button, static_cast<DWORD>(x), static_cast<DWORD>(y), 0, 0);
      ::Sleep(button == MOUSEEVENTF_LEFTUP ? 100 : 0);
    }
    AwaitClosed("image chooser", Choose(kOpenTitle, image));
  }
  // Runs the generate command and answers the save chooser.
  HWND Generate(const std::string& output) {
    Post(WM_COMMAND, ID_MENU_EXECUTE);
    return Choose("保存するファイル名を入力してください", output);
  }
  // The message box over the main window (its text a static with id 0xFFFF, its icon 0x0440): the
  // text, the empty caption, the icon; then its OK.
  void ExpectMessage(const std::string& text, bool errorIcon, const char* shot = nullptr) {
    const HWND box =
        AwaitDialog("message box", [&](HWND w) { return ::GetWindow(w, GW_OWNER) == m_main && !Text(::GetDlgItem(w, 0xFFFF)).empty(); });
    EXPECT_EQ(Text(::GetDlgItem(box, 0xFFFF)) + "|" + Text(box), text + "|");
    EXPECT_EQ(::IsWindowVisible(::GetDlgItem(box, 0x0440)) && ::SendDlgItemMessageW(box, 0x0440, STM_GETICON, 0, 0), errorIcon) << text;
    if (shot) Shot(shot);
    Click(::GetDlgItem(box, IDOK));
    AwaitClosed("message box", box);
  }

  testing::TempDir m_dir;
  PROCESS_INFORMATION m_process{};
  HWND m_main = nullptr;
  HWND m_list = nullptr;
};

// Each step as a user takes it; the image written a second time, over the first, after the system's
// question; the about box; the end.
TEST_F(Quorvel, TypicalRunWritesTheGoldenImageAndAsksBeforeWritingItAgain) {
  Start();
  Shot("1-main-empty");
  Post(WM_COMMAND, ID_MENU_EXECUTE);
  ExpectMessage("イメージデータが入力されていません。", true, "5-nothing-to-write");
  Post(WM_COMMAND, ID_MENU_OPEN);
  Choose(kOpenTitle, Example("board.conf"));
  AwaitRows(5);
  Shot("2-layout-loaded");
  const std::string output = m_dir.Path("all.bin");
  for (const auto& [row, image] : {std::pair{0, "ipl.bin"}, {1, "bootloader.bin"}, {2, "kernel.bin"}, {4, "config.bin"}}) {
    Assign(row, Example(image));
  }
  Shot("3-images-assigned");
  Generate(output);
  ExpectMessage(kWritten, false, "4-image-written");
  const std::string golden = testing::ReadBytes(testing::DataPath("golden/example-all.bin"));
  EXPECT_TRUE(testing::ReadBytes(output) == golden);
  testing::WriteBytes(output, "old contents");
  const HWND chooser = Generate(output);
  const HWND question = AwaitDialog("question", [&](HWND w) { return ::GetWindow(w, GW_OWNER) == chooser && ::GetDlgItem(w, IDYES); });
  Shot("6-overwrite-question");
  Click(::GetDlgItem(question, IDYES));
  ExpectMessage(kWritten, false);
  EXPECT_TRUE(testing::ReadBytes(output) == golden);
  // The about box from the system menu, the main window waiting meanwhile.
  Post(WM_SYSCOMMAND, IDM_ABOUTBOX);
  const HWND about = AwaitWindow("Quorvelのﾊﾞｰｼﾞｮﾝ情報");
  EXPECT_FALSE(::IsWindowEnabled(m_main));
  // Each control by its text, an icon as "<icon>", the default button with a "*".
  std::vector<std::string> controls;
  for (HWND c = ::GetWindow(about, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
    const bool isDefault = ::SendMessageW(c, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON;
    controls.push_back((::SendMessageW(c, STM_GETICON, 0, 0) ? "<icon>" : Text(c)) + (isDefault ? "*" : ""));
  }
  EXPECT_EQ(controls, (std::vector<std::string>{"<icon>", "ミルテカ Version 1.0", "(C) 2026 ミルテカ開発チーム", "OK*"}));
  Shot("8-about");
  Click(::GetDlgItem(about, IDOK));
  AwaitClosed("about box", about);
  // The close box ends the program without a question.
  Post(WM_SYSCOMMAND, SC_CLOSE);
  DWORD code = 99;
  ASSERT_TRUE(Ended(10000));
  EXPECT_TRUE(::GetExitCodeProcess(m_process.hProcess, &code) && code == 0) << code;
}

// A slow image, a pipe that delivers 4 KiB every 100 ms into a region of 4 MiB, dropped onto its row:
// while it is written the main window answers but takes no input, and the progress window over it
// moves. キャンセル ends the run at once, even with the pipe gone silent (its read interrupted): the
// old output stays byte for byte, the temporary file goes, and no message comes.
TEST_F(Quorvel, ASlowImageShowsItsProgressAndCancelKeepsTheOldOutput) {
  const std::string pipeName = "\\\\.\\pipe\\quorvel-slow-" + std::to_string(::GetCurrentProcessId()) + ".bin";
  const HANDLE pipe = ::CreateNamedPipeW(Utf8ToWide(pipeName).c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 1 << 16, 0, 0, nullptr);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  std::atomic<bool> silent = false;
  std::thread feeder([&] {
    const std::string piece(4096, 'K');
    DWORD n = 0;
    for (::ConnectNamedPipe(pipe, nullptr); !silent && ::WriteFile(pipe, piece.data(), 4096, &n, nullptr);) ::Sleep(100);
  });
  struct Ending {  // however the test ends: a feeder still waiting for the program is let go
    std::function<void()> end;
    ~Ending() { end(); }
  } ending{[&] {
    silent = true;
    ::CloseHandle(::CreateFileW(Utf8ToWide(pipeName).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    feeder.join();
    ::CloseHandle(pipe);
  }};
  testing::WriteBytes(m_dir.Path("slow.conf"), "[kernel]\r\nOFFSET=0\r\nSIZE=0x400000\r\n");
  const std::string output = m_dir.Path("all.bin");
  testing::WriteBytes(output, "old contents");
  Start(" \"" + m_dir.Path("slow.conf") + "\"");
  AwaitRows(1);
  POINT onRow = RowPoint(0);
  ::MapWindowPoints(m_list, m_main, &onRow, 1);
  Drop(pipeName, onRow);
  const HWND chooser = Generate(output);
  Click(::GetDlgItem(AwaitDialog("question", [&](HWND w) { return ::GetWindow(w, GW_OWNER) == chooser && ::GetDlgItem(w, IDYES); }), IDYES));
  const HWND progress = AwaitDialog("progress window", [&](HWND w) { return ::GetWindow(w, GW_OWNER) == m_main && ::GetDlgItem(w, IDC_PROGRESS_BAR); });
  const HWND bar = ::GetDlgItem(progress, IDC_PROGRESS_BAR);
  const LRESULT first = ::SendMessageW(bar, PBM_GETPOS, 0, 0);
  Await("progress", [&] { return ::SendMessageW(bar, PBM_GETPOS, 0, 0) > first; });
  DWORD_PTR answer = 0;
  EXPECT_TRUE(::SendMessageTimeoutW(m_main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &answer)) << "the main window does not answer";
  EXPECT_FALSE(::IsWindowEnabled(m_main));
  EXPECT_TRUE(Text(::GetDlgItem(progress, IDC_PROGRESS_TEXT)).starts_with("kernel を書き込んでいます… ")) << Text(::GetDlgItem(progress, IDC_PROGRESS_TEXT));
  EXPECT_EQ(Text(::GetDlgItem(progress, IDCANCEL)), "キャンセル");
  Shot("10-progress");
  silent = true;  // the pipe stays open but sends nothing more
  Click(::GetDlgItem(progress, IDCANCEL));
  const auto files = [&] {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(testing::FsPath(m_dir.Path("")))) names.push_back(testing::Utf8Path(entry.path().filename()));
    return std::ranges::sort(names), names;
  };
  Await("the temporary file's removal", [&] { return files() == std::vector<std::string>{"all.bin", "slow.conf"}; });
  Await("main window taking input", [&] { return ::IsWindowEnabled(m_main) != FALSE; });
  EXPECT_FALSE(::IsWindow(progress));
  EXPECT_TRUE(testing::ReadBytes(output) == "old contents");
  ::Sleep(300);
  EXPECT_EQ(AwaitDialog("main window alone", [&](HWND w) { return w == m_main || ::GetWindow(w, GW_OWNER) == m_main; }), m_main);
}

}  // namespace
}  // namespace quorvel
