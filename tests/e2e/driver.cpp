// Drives the real Quorvel.exe from outside, as a user would: menus, double-clicks, the common file
// dialogs and the message boxes; reads the list's cells from the other process; saves screenshots.
//
//   e2e_driver SCENARIO QUORVEL_EXE EXAMPLES_DIR GOLDEN_IMAGE SHOT_DIR
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "remote.h"
#include "resource.h"

namespace e2e {
namespace {

const std::wstring kDialogClass = L"#32770";
const std::wstring kMainCaption = L"ミルテカ";
const std::wstring kOpenTitle = L"ファイルを選択して下さい";
const std::wstring kSaveTitle = L"保存するファイル名を入力してください";
const std::wstring kAboutTitle = L"Quorvelのﾊﾞｰｼﾞｮﾝ情報";

struct Paths {
  std::wstring exe, examples, golden, shots, work;
};

int g_passed = 0, g_failed = 0;

bool Check(bool ok, const std::string& what) {
  std::printf("%s - %s\n", ok ? "ok" : "FAIL", what.c_str());
  (ok ? g_passed : g_failed)++;
  return ok;
}

std::string Quote(const std::string& s) { return "[" + s + "]"; }

bool CheckEq(const std::string& actual, const std::string& expected, const std::string& what) {
  return Check(actual == expected, what + ": " + Quote(actual) + (actual == expected ? "" : " expected " + Quote(expected)));
}

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool FileExists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The program, started fresh, with its main window and list.
struct App {
  explicit App(const Paths& paths) : process(paths.exe, paths.work) {
    if (!Check(process.Started(), "Quorvel.exe starts")) return;
    main = WaitTopWindow(process.Id(), kDialogClass, kMainCaption);
    if (!Check(main != nullptr, "the main window opens")) return;
    list = ::GetDlgItem(main, IDC_REGION_LIST);
    ::SetForegroundWindow(main);
  }
  bool Ok() const { return main && list; }
  void Command(UINT id) { ::PostMessageW(main, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  std::vector<std::string> Rows() {
    RemoteList remote(list);
    std::vector<std::string> rows;
    for (int r = 0; r < remote.Count(); ++r) {
      rows.push_back(remote.Cell(r, 0) + "|" + remote.Cell(r, 1) + "|" + remote.Cell(r, 2) + "|" + remote.Cell(r, 3));
    }
    return rows;
  }
  // A window of the program that is neither the main window nor one of those given.
  HWND WaitNewWindow(const std::wstring& caption, DWORD ms = 10000) {
    return WaitTopWindow(process.Id(), kDialogClass, caption, ms);
  }
  bool WaitEnd(DWORD* code) { return process.WaitExit(10000, code); }

  Process process;
  HWND main = nullptr;
  HWND list = nullptr;
};

void Shot(const Paths& paths, const std::wstring& name) {
  ::Sleep(300);  // let the windows finish painting
  Check(SaveScreenshot(paths.shots + L"\\" + name + L".bmp"), "screenshot " + Narrow(name));
}

// What a window holds, for the log when something does not go as expected.
void DumpWindows(HWND parent, int depth) {
  for (HWND child = ::GetWindow(parent, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[64] = {};
    ::GetClassNameW(child, cls, 64);
    std::printf("%*s%s id=0x%X visible=%d [%s]\n", depth * 2, "", Narrow(cls).c_str(), ::GetDlgCtrlID(child),
                ::IsWindowVisible(child) ? 1 : 0, Text(child).c_str());
    if (depth < 3) DumpWindows(child, depth + 1);
  }
}

// The file-name box of a common file dialog.
HWND FileNameBox(HWND dialog) {
  if (const HWND combo = ::GetDlgItem(dialog, 0x47C)) {  // cmb13
    if (const HWND edit = ::FindWindowExW(combo, nullptr, L"Edit", nullptr)) return edit;
    return combo;
  }
  return ::GetDlgItem(dialog, 0x480);  // edt1
}

// Types the path into the open chooser and presses its OK button.
bool Choose(App& app, const std::wstring& title, const std::wstring& path) {
  const HWND dialog = app.WaitNewWindow(title);
  if (!Check(dialog != nullptr, "the chooser " + Narrow(title) + " opens")) return false;
  Check(::GetWindow(dialog, GW_OWNER) == app.main, "the chooser is owned by the main window");
  const HWND box = FileNameBox(dialog);
  if (!Check(box != nullptr, "the chooser has a file-name box")) return false;
  SetText(box, Narrow(path));
  Click(::GetDlgItem(dialog, IDOK));
  if (Check(WaitFor([&] { return !::IsWindow(dialog); }), "the chooser closes")) return true;
  DumpWindows(dialog, 1);
  return false;
}

// Waits for a message box owned by owner, checks it and presses its button.
bool ExpectMessage(App& app, HWND owner, const std::string& text, bool errorIcon, const Paths* shots = nullptr,
                   const std::wstring& shotName = L"") {
  HWND box = nullptr;
  WaitFor([&] {
    for (const HWND w : TopWindows(app.process.Id())) {
      if (::GetWindow(w, GW_OWNER) == owner && !MessageBoxText(w).empty()) box = w;
    }
    return box != nullptr;
  });
  if (!Check(box != nullptr, "a message box appears")) return false;
  CheckEq(MessageBoxText(box), text, "message text");
  CheckEq(Text(box), "", "message caption");
  Check(MessageBoxHasIcon(box) == errorIcon, errorIcon ? "with the error icon" : "without an icon");
  if (shots) Shot(*shots, shotName);
  Click(::GetDlgItem(box, IDOK));
  return Check(WaitFor([&] { return !::IsWindow(box); }), "the message box closes");
}

void DoubleClickRow(App& app, int row) {
  RemoteList remote(app.list);
  const RECT rect = remote.ItemRect(row);
  POINT p{(rect.left + 20), (rect.top + rect.bottom) / 2};
  ::ClientToScreen(app.list, &p);
  ::SetForegroundWindow(app.main);
  ::Sleep(200);
  DoubleClickAt(p);
}

const std::vector<std::string> kLoadedRows = {"0x0000|0x200|ipl|", "0x0200|0x0E00|bootloader|", "0x1000|0x4000|kernel|",
                                              "0x5000|0x2000|userland|", "0x7000|0x1000|config|"};

bool OpenExampleLayout(App& app, const Paths& paths) {
  app.Command(ID_MENU_OPEN);
  if (!Choose(app, kOpenTitle, paths.examples + L"\\board.conf")) return false;
  WaitFor([&] { return RemoteList(app.list).Count() == 5; });
  const std::vector<std::string> rows = app.Rows();
  Check(rows == kLoadedRows, "the list shows the five regions by address");
  for (const std::string& r : rows) std::printf("    %s\n", r.c_str());
  return rows == kLoadedRows;
}

bool AssignImage(App& app, int row, const std::wstring& image) {
  WaitFor([&] { return ::IsWindowEnabled(app.main) != FALSE; });
  DoubleClickRow(app, row);
  // A double click that came too soon after the last chooser closed is one the user would repeat.
  if (!app.WaitNewWindow(kOpenTitle, 3000)) {
    std::printf("    double-clicking row %d again\n", row);
    DoubleClickRow(app, row);
  }
  if (!Choose(app, kOpenTitle, image)) return false;
  if (Check(WaitFor([&] { return RemoteList(app.list).Cell(row, 3) == Narrow(image); }),
            "row " + std::to_string(row) + " shows " + Narrow(image))) {
    return true;
  }
  for (const std::string& r : app.Rows()) std::printf("    %s\n", r.c_str());
  return false;
}

void Generate(App& app, const std::wstring& output, bool expectPreset = true) {
  app.Command(ID_MENU_EXECUTE);
  const HWND dialog = app.WaitNewWindow(kSaveTitle);
  if (!Check(dialog != nullptr, "the save chooser opens")) return;
  if (expectPreset) CheckEq(Text(FileNameBox(dialog)), "all.bin", "the file name is preset");
  SetText(FileNameBox(dialog), Narrow(output));
  Click(::GetDlgItem(dialog, IDOK));
}

bool ListFillsClient(App& app, const std::string& when) {
  RECT client, list;
  ::GetClientRect(app.main, &client);
  ::GetWindowRect(app.list, &list);
  ::MapWindowPoints(nullptr, app.main, reinterpret_cast<POINT*>(&list), 2);
  return Check(list.left == 0 && list.top == 0 && list.right == client.right && list.bottom == client.bottom,
               "the list fills the client area " + when + " (" + std::to_string(list.right) + "x" +
                   std::to_string(list.bottom) + " in " + std::to_string(client.right) + "x" +
                   std::to_string(client.bottom) + ")");
}

// Scenarios ---------------------------------------------------------------------------------------

void Typical(const Paths& paths) {
  App app(paths);
  if (!app.Ok()) return;
  {
    RemoteList remote(app.list);
    const char* headers[] = {"アドレス", "サイズ", "リージョン名", "イメージファイル"};
    const int widths[] = {75, 75, 100, 300};
    for (int c = 0; c < 4; ++c) {
      int width = 0;
      CheckEq(remote.Header(c, &width), headers[c], "column " + std::to_string(c));
      Check(width == widths[c], "column width " + std::to_string(width));
    }
    Check(remote.Count() == 0, "the list starts empty");
  }
  Shot(paths, L"1-main-empty");
  if (!OpenExampleLayout(app, paths)) return;
  Shot(paths, L"2-layout-loaded");
  const wchar_t* images[] = {L"ipl.bin", L"bootloader.bin", L"kernel.bin", nullptr, L"config.bin"};
  for (int row = 0; row < 5; ++row) {
    if (images[row] && !AssignImage(app, row, paths.examples + L"\\" + images[row])) return;
  }
  Shot(paths, L"3-images-assigned");
  const std::wstring output = paths.work + L"\\all.bin";
  Generate(app, output);
  ExpectMessage(app, app.main, "イメージファイルを作成しました。", false, &paths, L"4-image-written");
  Check(ReadFileBytes(output) == ReadFileBytes(paths.golden), "the image equals the golden image byte for byte");
  ::PostMessageW(app.main, WM_SYSCOMMAND, SC_CLOSE, 0);
  DWORD code = 0;
  Check(app.WaitEnd(&code), "the close box ends the program");
}

void GenerateFirst(const Paths& paths) {
  App app(paths);
  if (!app.Ok()) return;
  app.Command(ID_MENU_EXECUTE);
  ExpectMessage(app, app.main, "イメージデータが入力されていません。", true, &paths, L"5-nothing-to-write");
  Check(app.WaitNewWindow(kSaveTitle, 1000) == nullptr, "no chooser opened");
}

void Overwrite(const Paths& paths) {
  App app(paths);
  if (!app.Ok() || !OpenExampleLayout(app, paths)) return;
  const std::wstring output = paths.work + L"\\existing.bin";
  { std::ofstream(output.c_str(), std::ios::binary) << "old contents"; }
  Generate(app, output);
  const HWND save = app.WaitNewWindow(kSaveTitle);
  // The chooser asks before replacing: declining returns to it, accepting goes on.
  for (const int answer : {IDNO, IDYES}) {
    HWND confirm = nullptr;
    WaitFor([&] {
      for (const HWND w : TopWindows(app.process.Id())) {
        if (::GetWindow(w, GW_OWNER) == save && ::GetDlgItem(w, IDYES)) confirm = w;
      }
      return confirm != nullptr;
    });
    if (!Check(confirm != nullptr, "the chooser asks before replacing the file")) return;
    std::printf("    %s\n", MessageBoxText(confirm).c_str());
    if (answer == IDNO) Shot(paths, L"6-overwrite-question");
    Click(::GetDlgItem(confirm, answer));
    WaitFor([&] { return !::IsWindow(confirm); });
    if (answer == IDNO) {
      Check(::IsWindow(save), "declining returns to the chooser");
      CheckEq(ReadFileBytes(output), "old contents", "the file is untouched so far");
      Click(::GetDlgItem(save, IDOK));
    }
  }
  ExpectMessage(app, app.main, "イメージファイルを作成しました。", false);
  Check(ReadFileBytes(output) == std::string(0x8000, '\xFF'), "the file was replaced by the new image");
}

void Oversize(const Paths& paths) {
  App app(paths);
  if (!app.Ok() || !OpenExampleLayout(app, paths)) return;
  if (!AssignImage(app, 0, paths.examples + L"\\kernel.bin")) return;
  const std::wstring output = paths.work + L"\\all.bin";
  Generate(app, output);
  ExpectMessage(app, app.main, "リージョン'ipl'のファイルサイズが\r\nオーバーしています。", true, &paths, L"7-oversize");
  Check(!FileExists(output), "no output remains");
}

void About(const Paths& paths) {
  App app(paths);
  if (!app.Ok()) return;
  ::PostMessageW(app.main, WM_SYSCOMMAND, IDM_ABOUTBOX, 0);
  const HWND about = app.WaitNewWindow(kAboutTitle);
  if (!Check(about != nullptr, "the about box opens")) return;
  Check(!::IsWindowEnabled(app.main), "the main window waits while it is open");
  bool versionShown = false;
  for (HWND child = ::GetWindow(about, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
    versionShown = versionShown || Text(child) == "ミルテカ Version 1.0";
  }
  Check(versionShown, "it shows the version");
  Shot(paths, L"8-about");
  Click(::GetDlgItem(about, IDOK));
  Check(WaitFor([&] { return !::IsWindow(about); }), "OK closes it");
  Check(WaitFor([&] { return ::IsWindowEnabled(app.main) != FALSE; }), "the main window takes input again");
}

void EndingKeys(const Paths& paths) {
  for (const WPARAM key : {VK_ESCAPE, VK_RETURN}) {
    App app(paths);
    if (!app.Ok()) return;
    ::SetFocus(app.list);
    ::PostMessageW(app.list, WM_KEYDOWN, key, 0);
    ::PostMessageW(app.list, WM_KEYUP, key, 0xC0000000);
    DWORD code = 0;
    Check(app.WaitEnd(&code), key == VK_ESCAPE ? "Escape ends the program" : "Enter ends the program");
  }
}

void Resize(const Paths& paths) {
  App app(paths);
  if (!app.Ok()) return;
  ListFillsClient(app, "as it opens");
  ::SetWindowPos(app.main, nullptr, 0, 0, 800, 500, SWP_NOMOVE | SWP_NOZORDER);
  WaitFor([&] { RECT r; ::GetClientRect(app.main, &r); return r.right > 700; });
  ListFillsClient(app, "after resizing");
  ::PostMessageW(app.main, WM_SYSCOMMAND, SC_MAXIMIZE, 0);
  WaitFor([&] { return ::IsZoomed(app.main) != FALSE; });
  ::Sleep(300);
  ListFillsClient(app, "when maximised");
  Shot(paths, L"9-maximised");
  ::PostMessageW(app.main, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  WaitFor([&] { return ::IsIconic(app.main) != FALSE; });
  ::PostMessageW(app.main, WM_SYSCOMMAND, SC_RESTORE, 0);
  WaitFor([&] { return !::IsIconic(app.main) && !::IsZoomed(app.main); });
  ::Sleep(300);
  ListFillsClient(app, "after minimising and restoring");
}

// The program starts, shows its window and ends with the close box: enough for a packaged copy.
void StartAndClose(const Paths& paths) {
  App app(paths);
  if (!app.Ok()) return;
  Check(RemoteList(app.list).Count() == 0, "the list starts empty");
  ::PostMessageW(app.main, WM_SYSCOMMAND, SC_CLOSE, 0);
  DWORD code = 1;
  Check(app.WaitEnd(&code), "the close box ends the program");
}

}  // namespace
}  // namespace e2e

int wmain(int argc, wchar_t** argv) {
  using namespace e2e;
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  if (argc != 6) {
    std::printf("usage: e2e_driver SCENARIO QUORVEL_EXE EXAMPLES_DIR GOLDEN_IMAGE SHOT_DIR\n");
    return 2;
  }
  const auto windowsPath = [](std::wstring path) {
    for (wchar_t& c : path) c = c == L'/' ? L'\\' : c;
    return path;
  };
  Paths paths{windowsPath(argv[2]), windowsPath(argv[3]), windowsPath(argv[4]), windowsPath(argv[5]), {}};
  wchar_t temp[MAX_PATH];
  ::GetTempPathW(MAX_PATH, temp);
  paths.work = std::wstring(temp) + L"quorvel-e2e-" + std::to_wstring(::GetCurrentProcessId());
  ::CreateDirectoryW(paths.work.c_str(), nullptr);
  ::CreateDirectoryW(paths.shots.c_str(), nullptr);

  const std::map<std::wstring, void (*)(const Paths&)> scenarios = {
      {L"typical", &Typical}, {L"generate-first", &GenerateFirst}, {L"overwrite", &Overwrite},
      {L"oversize", &Oversize}, {L"about", &About}, {L"ending-keys", &EndingKeys}, {L"resize", &Resize},
      {L"start-and-close", &StartAndClose},
  };
  const auto scenario = scenarios.find(argv[1]);
  if (scenario == scenarios.end()) {
    std::printf("unknown scenario\n");
    return 2;
  }
  scenario->second(paths);
  for (const wchar_t* name : {L"all.bin", L"existing.bin"}) ::DeleteFileW((paths.work + L"\\" + name).c_str());
  ::RemoveDirectoryW(paths.work.c_str());
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 && g_passed > 0 ? 0 : 1;
}
