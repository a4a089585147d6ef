// The real Quorvel.exe, worked from outside as a user works it: menus, real double-clicks, the
// system's file choosers and message boxes; the list read from the other process; screenshots of
// the main states. Each test starts the program afresh in a folder of its own.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "remote.h"
#include "resource.h"
#include "test_support.h"

namespace e2e {
namespace {

using quorvel::testing::ReadBytes;

const std::string kOpenTitle = "ファイルを選択して下さい";
const std::string kSaveTitle = "保存するファイル名を入力してください";
const std::string kWritten = "イメージファイルを作成しました。";

std::string WindowsPath(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

// The program under test: the build's own, or the one that QUORVEL_EXE names (a packaged copy).
std::string Exe() {
  const wchar_t* chosen = ::_wgetenv(L"QUORVEL_EXE");
  return WindowsPath(chosen && *chosen ? WideToUtf8(chosen) : QUORVEL_EXE);
}
std::string Example(const std::string& name) { return WindowsPath(QUORVEL_EXAMPLES "/" + name); }

// The file-name box of a common file dialog: the edit of combo box cmb13, else edit box edt1.
HWND FileNameBox(HWND chooser) {
  if (const HWND combo = ::GetDlgItem(chooser, 0x47C)) {
    const HWND edit = ::FindWindowExW(combo, nullptr, L"Edit", nullptr);
    return edit ? edit : combo;
  }
  return ::GetDlgItem(chooser, 0x480);
}

// A string of the version resource as the file's properties show it: from the block that the
// translation table names.
std::string VersionString(const std::vector<BYTE>& info, const std::string& name) {
  WORD* translation = nullptr;
  wchar_t* text = nullptr;
  UINT length = 0;
  if (!::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) || length < 4) {
    return "(no translation)";
  }
  wchar_t key[128];
  ::swprintf(key, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], Utf8ToWide(name).c_str());
  return ::VerQueryValueW(info.data(), key, reinterpret_cast<void**>(&text), &length) ? WideToUtf8(text) : "(missing)";
}

std::vector<BYTE> VersionInfo(const std::string& file) {
  std::vector<BYTE> info(::GetFileVersionInfoSizeW(Utf8ToWide(file).c_str(), nullptr));
  if (info.empty() || !::GetFileVersionInfoW(Utf8ToWide(file).c_str(), 0, static_cast<DWORD>(info.size()), info.data())) info.clear();
  return info;
}

class Quorvel : public ::testing::Test {
 protected:
  void SetUp() override {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + Utf8ToWide(Exe()) + L"\"" + Utf8ToWide(m_argument);
    ASSERT_TRUE(::CreateProcessW(Utf8ToWide(Exe()).c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 Utf8ToWide(m_dir.Path("")).c_str(), &startup, &m_process))
        << Exe();
    m_main = AwaitWindow("ミルテカ");
    m_list = ::GetDlgItem(m_main, IDC_REGION_LIST);
    ::SetForegroundWindow(m_main);
  }
  void TearDown() override {
    if (!m_process.hProcess) return;
    if (!Ended(0)) ::TerminateProcess(m_process.hProcess, 99), Ended(5000);
    ::CloseHandle(m_process.hThread);
    ::CloseHandle(m_process.hProcess);
  }

  bool Ended(DWORD milliseconds) { return ::WaitForSingleObject(m_process.hProcess, milliseconds) == WAIT_OBJECT_0; }
  void Post(UINT message, WPARAM wParam) { ::PostMessageW(m_main, message, wParam, 0); }
  HWND AwaitWindow(const std::string& caption) {
    return AwaitDialog(m_process.dwProcessId, "window " + caption, [&](HWND w) { return Text(w) == caption; });
  }
  void Shot(const char* name) {
    ::Sleep(250);  // the windows finish painting
    std::filesystem::create_directories(QUORVEL_SHOTS);
    SaveScreenshot(QUORVEL_SHOTS "/" + std::string(name) + ".bmp");
  }
  // "address|size|region|image" for every row of the list.
  std::vector<std::string> Rows() {
    RemoteList list(m_list);
    std::vector<std::string> rows;
    for (int r = 0; r < list.Count(); ++r) rows.push_back(list.Cell(r, 0) + "|" + list.Cell(r, 1) + "|" + list.Cell(r, 2) + "|" + list.Cell(r, 3));
    return rows;
  }
  // Types the path into the chooser's file-name box and presses OK; the chooser belongs to the main window.
  void Choose(HWND chooser, const std::string& path) {
    EXPECT_EQ(::GetWindow(chooser, GW_OWNER), m_main);
    SetText(FileNameBox(chooser), path);
    Click(::GetDlgItem(chooser, IDOK));
  }
  void OpenExample() {
    Post(WM_COMMAND, ID_MENU_OPEN);
    Choose(AwaitWindow(kOpenTitle), Example("board.conf"));
    Await("five rows", [&] { return RemoteList(m_list).Count() == 5; });
    EXPECT_EQ(Rows(), (std::vector<std::string>{"0x0000|0x200|ipl|", "0x0200|0x0E00|bootloader|", "0x1000|0x4000|kernel|",
                                                "0x5000|0x2000|userland|", "0x7000|0x1000|config|"}));
  }
  // Double-clicks the row with the mouse and chooses the image for it.
  void Assign(int row, const std::string& image) {
    Await("main window taking input", [&] { return ::IsWindowEnabled(m_main) != FALSE; });
    const RECT rect = RemoteList(m_list).ItemRect(row);
    POINT point{rect.left + 20, (rect.top + rect.bottom) / 2};
    ::ClientToScreen(m_list, &point);
    ::SetForegroundWindow(m_main);
    DoubleClickAt(point);
    Choose(AwaitWindow(kOpenTitle), image);
    Await("row " + std::to_string(row) + " showing " + image, [&] { return RemoteList(m_list).Cell(row, 3) == image; });
  }
  // Runs the generate command and answers the save chooser, whose file name comes preset.
  HWND Generate(const std::string& output) {
    Post(WM_COMMAND, ID_MENU_EXECUTE);
    const HWND chooser = AwaitWindow(kSaveTitle);
    EXPECT_EQ(Text(FileNameBox(chooser)), "all.bin");
    Choose(chooser, output);
    return chooser;
  }
  // The message box that owner shows: its text, its empty caption, its icon; then its OK.
  void ExpectMessage(HWND owner, const std::string& text, bool errorIcon, const char* shot) {
    const HWND box = AwaitDialog(m_process.dwProcessId, "message box",
                                 [&](HWND w) { return ::GetWindow(w, GW_OWNER) == owner && !MessageBoxText(w).empty(); });
    EXPECT_EQ(MessageBoxText(box), text);
    EXPECT_EQ(Text(box), "");
    EXPECT_EQ(MessageBoxHasIcon(box), errorIcon);
    if (shot) Shot(shot);
    Click(::GetDlgItem(box, IDOK));
    Await("closing of the message box", [&] { return !::IsWindow(box); });
  }

  // Drops the files at point of the main window's client area, with a drop handle laid out as the
  // system lays one out (DROPFILES, then the names), in the program's own memory as a drop's is.
  void Drop(const std::vector<std::string>& files, POINT point) {
    std::wstring names;
    for (const std::string& file : files) names += Utf8ToWide(file) + L'\0';
    names += L'\0';
    DROPFILES header{sizeof(DROPFILES), point, FALSE, TRUE};
    std::string block(reinterpret_cast<const char*>(&header), sizeof header);
    block.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));
    const HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, m_process.dwProcessId);
    void* drop = ::VirtualAllocEx(process, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    ASSERT_TRUE(drop && ::WriteProcessMemory(process, drop, block.data(), block.size(), nullptr));
    ::CloseHandle(process);
    Post(WM_DROPFILES, reinterpret_cast<WPARAM>(drop));
  }

  std::string m_argument;  // after the program's name on its command line
  quorvel::testing::TempDir m_dir;
  PROCESS_INFORMATION m_process{};
  HWND m_main = nullptr;
  HWND m_list = nullptr;
};

TEST_F(Quorvel, TypicalRunWritesTheGoldenImage) {
  EXPECT_EQ(RemoteList(m_list).Count(), 0);
  Shot("1-main-empty");
  OpenExample();
  Shot("2-layout-loaded");
  const char* images[] = {"ipl.bin", "bootloader.bin", "kernel.bin", nullptr, "config.bin"};
  for (int row = 0; row < 5; ++row) {
    if (images[row]) Assign(row, Example(images[row]));
  }
  Shot("3-images-assigned");
  const std::string output = m_dir.Path("all.bin");
  Generate(output);
  ExpectMessage(m_main, kWritten, false, "4-image-written");
  EXPECT_TRUE(ReadBytes(output) == ReadBytes(quorvel::testing::DataPath("golden/example-all.bin")));
}

TEST_F(Quorvel, AFileDroppedOpensALayoutOrBecomesTheImageOfTheRowItLandsOn) {
  Drop({Example("board.conf")}, {10, 10});
  Await("five rows", [&] { return RemoteList(m_list).Count() == 5; });
  const RECT rect = RemoteList(m_list).ItemRect(2);
  POINT onKernel{rect.left + 20, (rect.top + rect.bottom) / 2};
  ::MapWindowPoints(m_list, m_main, &onKernel, 1);
  Drop({Example("kernel.bin")}, onKernel);
  Await("the kernel row showing its image", [&] { return RemoteList(m_list).Cell(2, 3) == Example("kernel.bin"); });
  Drop({Example("ipl.bin"), Example("config.bin")}, onKernel);  // several files: nothing
  ::Sleep(300);
  EXPECT_EQ(RemoteList(m_list).Cell(2, 3), Example("kernel.bin"));
}

// A layout dropped onto the program's icon: its path after the program's name.
class QuorvelWithALayout : public Quorvel {
  void SetUp() override {
    m_argument = " \"" + Example("board.conf") + "\"";
    Quorvel::SetUp();
  }
};

TEST_F(QuorvelWithALayout, OpensItAtStart) { Await("five rows", [&] { return RemoteList(m_list).Count() == 5; }); }

TEST_F(Quorvel, GenerateBeforeAnyLayoutSaysThereIsNoImageData) {
  Post(WM_COMMAND, ID_MENU_EXECUTE);
  ExpectMessage(m_main, "イメージデータが入力されていません。", true, "5-nothing-to-write");
}

TEST_F(Quorvel, TheSaveChooserAsksBeforeReplacingAFileAndDecliningReturnsToIt) {
  OpenExample();
  const std::string output = m_dir.Path("existing.bin");
  quorvel::testing::WriteBytes(output, "old contents");
  const HWND chooser = Generate(output);
  for (const int answer : {IDNO, IDYES}) {
    const HWND question = AwaitDialog(m_process.dwProcessId, "question before replacing",
                                      [&](HWND w) { return ::GetWindow(w, GW_OWNER) == chooser && ::GetDlgItem(w, IDYES); });
    if (answer == IDNO) Shot("6-overwrite-question");
    Click(::GetDlgItem(question, answer));
    Await("closing of the question", [&] { return !::IsWindow(question); });
    if (answer == IDNO) {
      EXPECT_TRUE(::IsWindowVisible(chooser));
      EXPECT_EQ(ReadBytes(output), "old contents");
      Click(::GetDlgItem(chooser, IDOK));
    }
  }
  ExpectMessage(m_main, kWritten, false, nullptr);
  EXPECT_TRUE(ReadBytes(output) == std::string(0x8000, '\xFF'));
}

TEST_F(Quorvel, AnOversizeImageIsReportedAndNoOutputRemains) {
  OpenExample();
  Assign(0, Example("kernel.bin"));
  const std::string output = m_dir.Path("all.bin");
  Generate(output);
  ExpectMessage(m_main, "リージョン'ipl'のファイルサイズが\r\nオーバーしています。", true, "7-oversize");
  EXPECT_FALSE(quorvel::testing::Exists(output));
}

TEST_F(Quorvel, TheSystemMenuOpensTheAboutBoxWhileTheMainWindowWaits) {
  Post(WM_SYSCOMMAND, IDM_ABOUTBOX);
  const HWND about = AwaitWindow("Quorvelのﾊﾞｰｼﾞｮﾝ情報");
  EXPECT_FALSE(::IsWindowEnabled(m_main));
  // Each control as "class:text", an icon as "Static:<icon>"; the notice is the file's copyright.
  std::vector<std::string> controls;
  for (HWND c = ::GetWindow(about, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
    controls.push_back(ClassName(c) + ":" + (::SendMessageW(c, STM_GETICON, 0, 0) ? "<icon>" : Text(c)));
  }
  const std::string notice = VersionString(VersionInfo(Exe()), "LegalCopyright");
  EXPECT_EQ(controls, (std::vector<std::string>{"Static:<icon>", "Static:ミルテカ Version 1.0", "Static:" + notice, "Button:OK"}));
  EXPECT_FALSE(notice.empty());
  const HWND ok = ::GetDlgItem(about, IDOK);
  EXPECT_EQ(::GetWindowLongW(ok, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  Shot("8-about");
  Click(ok);
  Await("closing of the about box", [&] { return !::IsWindow(about); });
  Await("main window taking input again", [&] { return ::IsWindowEnabled(m_main) != FALSE; });
}

TEST_F(Quorvel, TheListFillsTheClientAreaThroughResizeMaximiseMinimiseAndRestore) {
  const auto expectFills = [&](const char* when, const std::function<bool()>& state) {
    RECT client{}, list{};
    const bool fills = Poll([&] {
      ::GetClientRect(m_main, &client);
      ::GetWindowRect(m_list, &list);
      ::MapWindowPoints(nullptr, m_main, reinterpret_cast<POINT*>(&list), 2);
      return state() && list.left == 0 && list.top == 0 && list.right == client.right && list.bottom == client.bottom;
    }, 5000);
    EXPECT_TRUE(fills) << when << ": list " << list.left << "," << list.top << "-" << list.right << "," << list.bottom
                       << " in client " << client.right << "x" << client.bottom;
  };
  const auto width = [&] { RECT r; ::GetWindowRect(m_main, &r); return r.right - r.left; };
  expectFills("as it opens", [] { return true; });
  ::SetWindowPos(m_main, nullptr, 0, 0, 800, 500, SWP_NOMOVE | SWP_NOZORDER);
  expectFills("resized", [&] { return width() == 800; });
  // Sent and waited for: posted, the maximise was now and then not carried out under Wine.
  const auto command = [&](WPARAM id) { ::SendMessageW(m_main, WM_SYSCOMMAND, id, 0); };
  command(SC_MAXIMIZE);
  expectFills("maximised", [&] { return ::IsZoomed(m_main) != FALSE; });
  Shot("9-maximised");
  command(SC_MINIMIZE);
  expectFills("minimised", [&] { return ::IsIconic(m_main) != FALSE; });
  // Restoring the icon brings back the maximised window; restoring that, the window of before.
  command(SC_RESTORE);
  expectFills("restored from the icon", [&] { return !::IsIconic(m_main); });
  command(SC_RESTORE);
  expectFills("restored", [&] { return !::IsZoomed(m_main) && width() == 800; });
}

struct Ending {
  std::string what;
  WPARAM key;  // pressed in the list; none: the close box
  friend void PrintTo(const Ending& ending, std::ostream* out) { *out << ending.what; }
};

class QuorvelEnds : public Quorvel, public ::testing::WithParamInterface<Ending> {};

TEST_P(QuorvelEnds, WithoutAQuestion) {
  if (const WPARAM key = GetParam().key) {
    ::PostMessageW(m_list, WM_KEYDOWN, key, 1);
    ::PostMessageW(m_list, WM_KEYUP, key, 0xC0000001);
  } else {
    Post(WM_SYSCOMMAND, SC_CLOSE);
  }
  DWORD code = 99;
  ASSERT_TRUE(Ended(10000));
  EXPECT_TRUE(::GetExitCodeProcess(m_process.hProcess, &code) && code == 0) << code;
}

INSTANTIATE_TEST_SUITE_P(By, QuorvelEnds,
                         ::testing::Values(Ending{"close box", 0}, Ending{"Enter", VK_RETURN}, Ending{"Escape", VK_ESCAPE}),
                         quorvel::testing::NameFromWhat());

// What the file's properties show: the version, the icon in its two sizes, and that it runs with
// the rights of the user who starts it.
TEST(QuorvelExe, PropertiesShowTheVersionTheIconAndTheExecutionLevel) {
  const std::vector<BYTE> info = VersionInfo(Exe());
  ASSERT_FALSE(info.empty()) << Exe();
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(std::vector<DWORD>({fixed->dwFileVersionMS, fixed->dwFileVersionLS, fixed->dwProductVersionMS, fixed->dwProductVersionLS}),
            std::vector<DWORD>({0x10000, 1, 0x10000, 1}));
  const std::pair<std::string, std::string> strings[] = {
      {"FileDescription", "Quorvel MFC ｱﾌﾟﾘｹｰｼｮﾝ"}, {"FileVersion", "1, 0, 0, 1"}, {"InternalName", "Quorvel"},
      {"OriginalFilename", "Quorvel.EXE"}, {"ProductName", "Quorvel ｱﾌﾟﾘｹｰｼｮﾝ"}, {"ProductVersion", "1, 0, 0, 1"},
      {"CompanyName", ""}, {"LegalTrademarks", ""}};
  for (const auto& [name, text] : strings) EXPECT_EQ(VersionString(info, name), text) << name;

  const HMODULE exe = ::LoadLibraryExW(Utf8ToWide(Exe()).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_TRUE(exe);
  const auto resource = [&](LPCWSTR type, UINT id) {
    const HRSRC found = ::FindResourceW(exe, MAKEINTRESOURCEW(id), type);
    return found ? std::string(static_cast<const char*>(::LockResource(::LoadResource(exe, found))), ::SizeofResource(exe, found)) : "";
  };
  // An icon group: a count at byte 4, then 14-byte entries that start with width and height.
  const std::string icons = resource(RT_GROUP_ICON, IDR_MAINFRAME);
  ASSERT_GE(icons.size(), 6u + 2 * 14);
  EXPECT_EQ(icons.substr(4, 2), std::string("\2\0", 2));
  EXPECT_EQ(icons.substr(6, 2) + icons.substr(20, 2), std::string("\x20\x20\x10\x10"));
  EXPECT_NE(resource(RT_MANIFEST, 1).find("level=\"asInvoker\""), std::string::npos);
  ::FreeLibrary(exe);
}

}  // namespace
}  // namespace e2e
