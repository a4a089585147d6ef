// The real main dialog, about box and list control, in this process, with the user's answers
// supplied by the test.
#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <tuple>

#include "about_dlg.h"
#include "base/text.h"
#include "command_line.h"
#include "framework/app.h"
#include "quorvel_dlg.h"
#include "test_support.h"

namespace quorvel {
namespace {

using qbase::Utf8ToWide;
using qbase::WideToUtf8;
using Texts = std::vector<std::string>;
using Choosers = std::vector<const FileChooser*>;

constexpr char kHighLayout[] =  // regions at and above 2 GiB, the lowest looked up last
    "[bootloader]\r\nOFFSET=0x80000000\r\n[kernel]\r\nOFFSET=0x80100000\r\n[userland]\r\nOFFSET=0xFFFFFFFF\r\n"
    "[free1]\r\nOFFSET=0x100000000\r\n[ipl]\r\nOFFSET=0x7FFFFFFF\r\n";
const Texts kHighRows = {"0x7FFFFFFF||ipl|", "0x80000000||bootloader|", "0x80100000||kernel|", "0xFFFFFFFF||userland|",
                         "0x100000000||free1|"};
const Texts kBoardRows = {"0|0x10|ipl|", "10|0xF0|bootloader|", "0x100|0x8|kernel|"};

// Each item of a menu as "text id", the items of a pop-up indented after it.
Texts MenuItems(HMENU menu, const std::string& indent = "") {
  Texts items;
  for (int i = 0; i < ::GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    ::GetMenuStringW(menu, static_cast<UINT>(i), text, 64, MF_BYPOSITION);
    items.push_back(indent + WideToUtf8(text) + " " + std::to_string(static_cast<int>(::GetMenuItemID(menu, i))));
    for (const std::string& item : MenuItems(::GetSubMenu(menu, i), indent + "  ")) items.push_back(item);
  }
  return items;
}

// The dialog, the test answering in the user's place: it keeps the choosers asked for (none for one the
// dialog does not own) and the messages shown, " (error)" after one with the error icon, " (not the
// dialog's)" after one the dialog does not own, with a caption or on another thread than its window's,
// " (wait)" under the wait cursor.
class DialogTest : public ::testing::Test, public UserPrompts {
 protected:
  void SetUp() override {
    testing::WriteBytes(m_layout, "[kernel]\r\nOFFSET=0x100\r\nSIZE=0x8\r\n[ipl]\r\nOFFSET=0\r\nSIZE=0x10\r\n[bootloader]\r\nOFFSET=10\r\nSIZE=0xF0\r\n");
    ASSERT_TRUE(m_dlg.Create());
    m_list = ::GetDlgItem(m_dlg.m_hWnd, IDC_REGION_LIST);
  }
  void TearDown() override { ::DestroyWindow(m_dlg.m_hWnd); }

  std::optional<ChosenFile> ChooseFile(HWND owner, const FileChooser& chooser) override {
    m_asked.push_back(owner == m_dlg.m_hWnd ? &chooser : nullptr);
    if (m_fail) m_fail();
    return std::exchange(m_answer, std::nullopt);
  }
  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override {
    m_shown.push_back(text + (type == MB_ICONERROR ? " (error)" : type == MB_OK ? "" : " (?)") +
                      (owner == m_dlg.m_hWnd && caption.empty() && ::GetWindowThreadProcessId(owner, nullptr) == ::GetCurrentThreadId()
                           ? ""
                           : " (not the dialog's)") +
                      (::GetCursor() == ::LoadCursorW(nullptr, IDC_WAIT) ? " (wait)" : ""));
    return IDOK;
  }

  LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam = 0) { return ::SendMessageW(m_dlg.m_hWnd, message, wParam, lParam); }
  // Runs the command, its chooser answered with the file (none: the user cancels).
  void Command(UINT id, std::optional<std::string> answer = std::nullopt, DWORD filterIndex = 1) {
    m_answer = answer ? std::optional(ChosenFile{*answer, filterIndex}) : std::nullopt;
    Send(WM_COMMAND, id);
  }
  // Selects the row (none for -1) and double-clicks the list, answering its chooser; returns the handler's result.
  LRESULT DoubleClick(int selected, int underPointer, std::optional<std::string> answer = std::nullopt) {
    m_answer = answer ? std::optional(ChosenFile{*answer}) : std::nullopt;
    ListView_SetItemState(m_list, selected, selected < 0 ? 0 : LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    NMITEMACTIVATE nm{};
    nm.hdr = {m_list, IDC_REGION_LIST, static_cast<UINT>(NM_DBLCLK)};
    nm.iItem = underPointer;
    ::SetWindowLongPtrW(m_dlg.m_hWnd, DWLP_MSGRESULT, 12345);
    Send(WM_NOTIFY, IDC_REGION_LIST, reinterpret_cast<LPARAM>(&nm));
    return ::GetWindowLongPtrW(m_dlg.m_hWnd, DWLP_MSGRESULT);
  }
  // "address|size|region|image" for every row the list shows, the test's folder left out.
  Texts Rows() {
    Texts rows(static_cast<size_t>(ListView_GetItemCount(m_list)));
    for (size_t row = 0; row < rows.size(); ++row) {
      for (int column = 0; column < 4; ++column) {
        wchar_t text[4096] = {};
        ListView_GetItemText(m_list, static_cast<int>(row), column, text, 4096);
        rows[row] += (column ? "|" : "") + WideToUtf8(text);
      }
      if (const size_t at = rows[row].find(m_dir.Path("")); at != std::string::npos) rows[row].erase(at, m_dir.Path("").size());
    }
    return rows;
  }

  testing::TempDir m_dir;
  std::string m_layout = m_dir.Path("board é 😀.conf");
  CQuorvelDlg m_dlg{nullptr, *this};
  HWND m_list = nullptr;
  std::function<void()> m_fail;        // how the chooser fails, if it does
  std::optional<ChosenFile> m_answer;  // to the next chooser; none: the user cancels
  Choosers m_asked;
  Texts m_shown;
};

// What the user sees of the main dialog before anything is open: its frame and font; the list's
// columns and styles; the menus; the program's icon wherever the system asks for one.
TEST_F(DialogTest, TheMainDialogOpensWithItsLookTheColumnsTheMenusAndTheIcon) {
  constexpr DWORD kFrame = WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  constexpr DWORD kEdges = WS_EX_APPWINDOW | WS_EX_CLIENTEDGE | WS_EX_ACCEPTFILES;
  const HDC screen = ::GetDC(nullptr);
  const LONG nine = -::MulDiv(9, ::GetDeviceCaps(screen, LOGPIXELSY), 72);  // points
  ::ReleaseDC(nullptr, screen);
  LOGFONTW font{};
  ::GetObjectW(reinterpret_cast<HFONT>(Send(WM_GETFONT, 0)), sizeof font, &font);
  EXPECT_EQ(std::tuple(::GetWindowLongW(m_dlg.m_hWnd, GWL_STYLE) & (kFrame | WS_POPUP | WS_CHILD),
                       ::GetWindowLongW(m_dlg.m_hWnd, GWL_EXSTYLE) & kEdges, WideToUtf8(font.lfFaceName), font.lfHeight),
            std::tuple(kFrame, kEdges, "ＭＳ Ｐゴシック", nine));
  Texts columns;
  wchar_t text[64] = {};
  for (LVCOLUMNW c{LVCF_TEXT | LVCF_WIDTH | LVCF_FMT, 0, 0, text, 64, 0, 0, 0, 0, 0, 0}; ListView_GetColumn(m_list, columns.size(), &c);) {
    columns.push_back(WideToUtf8(text) + " " + std::to_string(c.cx) + ((c.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_LEFT ? "" : " not left"));
  }
  EXPECT_EQ(columns, (Texts{"アドレス 75", "サイズ 75", "リージョン名 100", "イメージファイル 300"}));
  EXPECT_EQ(::SendMessageW(m_list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);
  EXPECT_EQ(::GetWindowLongW(m_list, GWL_STYLE) & (LVS_TYPEMASK | LVS_SINGLESEL | LVS_SHOWSELALWAYS), LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS);
  EXPECT_EQ(MenuItems(::GetMenu(m_dlg.m_hWnd)),
            (Texts{"ファイル(&F) -1", "  開く(&O) " + std::to_string(ID_MENU_OPEN), "実行(&G) " + std::to_string(ID_MENU_EXECUTE)}));
  const Texts system = MenuItems(::GetSystemMenu(m_dlg.m_hWnd, FALSE));
  EXPECT_EQ(Texts(system.end() - 2, system.end()), (Texts{" 0", "ﾊﾞｰｼﾞｮﾝ情報(&A)... " + std::to_string(IDM_ABOUTBOX)}));
  const auto icon = reinterpret_cast<LRESULT>(::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME)));
  for (const auto& [message, which] : {std::pair{WM_QUERYDRAGICON, 0}, {WM_GETICON, ICON_BIG}, {WM_GETICON, ICON_SMALL}}) {
    EXPECT_EQ(Send(message, static_cast<WPARAM>(which)), icon) << message << " " << which;
  }
}

// A chosen layout's regions by address, also while an editor has it open; one that cannot be read empties the list and says so; a cancelled chooser, or one that fails,
// changes nothing, and a failure is told.
TEST_F(DialogTest, OpenReadsTheChosenLayoutIntoTheList) {
  // An editor holds the layout open, sharing it for reading and writing, as the system's INI reader does.
  const HANDLE editor = ::CreateFileW(Utf8ToWide(m_layout).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
  Command(ID_MENU_OPEN, m_layout);
  ::CloseHandle(editor);
  Command(ID_MENU_OPEN);
  for (std::function<void()> fail : {+[] { throw std::bad_alloc(); }, +[] { throw std::runtime_error("x"); }, +[] { throw 42; }}) {
    m_fail = fail;
    Command(ID_MENU_OPEN, m_dir.Path("missing.conf"));
  }
  m_fail = nullptr;
  EXPECT_EQ(Rows(), kBoardRows);
  Command(ID_MENU_OPEN, m_dir.Path("missing.conf"));
  EXPECT_EQ(Rows(), Texts{});
  EXPECT_EQ(m_shown, (Texts{"メモリが足りません。 (error)", "予期しないエラーが発生しました。 (error)", "予期しないエラーが発生しました。 (error)",
                            "ファイルを開けません。 (error)"}));
  EXPECT_EQ(m_asked, Choosers(6, &kLayoutChooser));
}

// Windows that are not children, counted as they are made.
int g_windowsMade = 0;
LRESULT CALLBACK CountWindowsMade(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND && !(reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->style & WS_CHILD)) ++g_windowsMade;
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// A double-click assigns an image to the selected row, not the one under the pointer; "実行(&G)"
// writes the images in the chosen form under the wait cursor (records read at base 0), never over the
// layout, and only once a layout is open. A write this short shows no progress window.
TEST_F(DialogTest, DoubleClickAssignsImagesThatExecuteWritesInTheChosenForm) {
  const HHOOK hook = ::SetWindowsHookExW(WH_CBT, CountWindowsMade, nullptr, ::GetCurrentThreadId());
  Command(ID_MENU_EXECUTE);
  Command(ID_MENU_OPEN, m_layout);
  DoubleClick(-1, -1);  // no row selected: no chooser
  EXPECT_EQ(DoubleClick(0, 2, m_dir.Path("first.bin")), 0);
  DoubleClick(0, 0);  // cancelled: the first stays
  EXPECT_EQ(Rows(), (Texts{kBoardRows[0] + "first.bin", kBoardRows[1], kBoardRows[2]}));
  Command(ID_MENU_OPEN, m_layout);  // loading again drops the image choices
  EXPECT_EQ(Rows(), kBoardRows);
  testing::WriteBytes(m_dir.Path("kernel.mot"), "S10701004C4F4E47C7\r\nS9030000FC\r\n");  // "LONG" at 0x100
  DoubleClick(2, 2, m_dir.Path("kernel.mot"));
  Command(ID_MENU_EXECUTE);  // cancelled
  const std::string output = m_dir.Path("出力 ü.bin");
  Command(ID_MENU_EXECUTE, output);
  EXPECT_EQ(testing::ReadBytes(output), std::string(0x10 + 0xF0, '\xFF') + "LONG" + std::string(4, '\xFF'));
  Command(ID_MENU_EXECUTE, m_dir.Path("fw"), 3);  // the Intel HEX entry, a name without an extension
  EXPECT_TRUE(testing::ReadBytes(m_dir.Path("fw")).ends_with(":00000001FF\r\n"));
  const std::string layout = testing::ReadBytes(m_layout);
  Command(ID_MENU_EXECUTE, m_layout);
  EXPECT_TRUE(testing::ReadBytes(m_layout) == layout) << "the layout was written over";
  ::UnhookWindowsHookEx(hook);
  EXPECT_EQ(g_windowsMade, 0);
  EXPECT_EQ(m_shown, (Texts{"イメージデータが入力されていません。 (error)", "イメージファイルを作成しました。 (wait)", "イメージファイルを作成しました。 (wait)",
                            "レイアウトファイルと同じファイルには出力できません。 (error) (wait)"}));
  EXPECT_EQ(m_asked, (Choosers{&kLayoutChooser, &kImageChooser, &kImageChooser, &kLayoutChooser, &kImageChooser, &kOutputChooser,
                               &kOutputChooser, &kOutputChooser, &kOutputChooser}));
}

// The files come as the shell drops them: DROPFILES, then the wide names, each ended, and one more end.
TEST_F(DialogTest, FilesDroppedOpenALayoutOrBecomeTheImageOfTheRowTheyLandOn) {
  enum Where { OnTheLastRow, BelowTheRows, OnTheCaption };
  const struct { const char* what; bool loadedFirst; Texts files; Where where; Texts rows; bool toldNotALayout = false; } cases[] = {
      {"a layout anywhere", true, {"high.conf"}, OnTheLastRow, kHighRows},
      {"an image onto a row", true, {"カーネル.bin"}, OnTheLastRow, {kBoardRows[0], kBoardRows[1], kBoardRows[2] + "カーネル.bin"}},
      {"an image below the rows", true, {"カーネル.bin"}, BelowTheRows, kBoardRows},
      {"any file on the caption", true, {"high layout.txt"}, OnTheCaption, kHighRows},
      {"any file onto an empty list", false, {"high layout.txt"}, OnTheLastRow, kHighRows},
      {"several files", true, {"カーネル.bin", "high.conf"}, OnTheLastRow, kBoardRows},
      {"a folder", false, {"folder.conf"}, OnTheLastRow, {}},
      {"a file without a region on the caption: the list stays", true, {"notes.txt"}, OnTheCaption, kBoardRows, true},
      {"a layout without a region onto a row: the list stays", true, {"no regions.conf"}, OnTheLastRow, kBoardRows, true},
  };
  testing::WriteBytes(m_dir.Path("notes.txt"), "not a layout");
  testing::WriteBytes(m_dir.Path("カーネル.bin"), "KRNL");
  testing::WriteBytes(m_dir.Path("high.conf"), kHighLayout);
  testing::WriteBytes(m_dir.Path("high layout.txt"), kHighLayout);
  testing::WriteBytes(m_dir.Path("no regions.conf"), "[rootfs]\r\nOFFSET=0\r\n");
  std::filesystem::create_directory(testing::FsPath(m_dir.Path("folder.conf")));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Command(ID_MENU_OPEN, m_layout);
    RECT row{};
    ListView_GetItemRect(m_list, 2, &row, LVIR_BOUNDS);
    if (!c.loadedFirst) Command(ID_MENU_OPEN, m_dir.Path("no regions.conf"));
    POINT point{(row.left + row.right) / 2, (row.top + row.bottom) / 2 + (c.where == BelowTheRows ? 40 : 0)};
    ::MapWindowPoints(m_list, m_dlg.m_hWnd, &point, 1);
    point.y = c.where == OnTheCaption ? -8 : point.y;
    std::wstring files;
    for (const std::string& name : c.files) files += Utf8ToWide(m_dir.Path(name)) + L'\0';
    const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + (files.size() + 1) * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    *drop = {sizeof(DROPFILES), point, c.where == OnTheCaption, TRUE};
    files.copy(reinterpret_cast<wchar_t*>(drop + 1), files.size());
    ::GlobalUnlock(memory);
    m_asked.clear();
    m_shown.clear();
    Send(WM_DROPFILES, reinterpret_cast<WPARAM>(memory));
    EXPECT_EQ(::GlobalFlags(memory), UINT{GMEM_INVALID_HANDLE}) << "the drop was not finished";
    EXPECT_EQ(Rows(), c.rows);
    EXPECT_TRUE(m_asked.empty());  // a drop asks for nothing
    EXPECT_EQ(m_shown, c.toldNotALayout ? Texts{"レイアウトファイルではありません。\r\n" + m_dir.Path(c.files[0]) + " (error)"} : Texts{});
  }
}

// Painting, sizing, minimising and restoring are the dialog manager's, and the list fills the client
// area throughout; minimised, the icon is drawn in the middle, the halves rounded towards zero. Run
// modeless, the dialog ends by Cancel as a modal one does, and its window goes; shown again, it binds
// the new list and opens the layout given at start once the window shows: the one argument on the
// command line, as a full path. A dialog object that dies first takes its window with it.
TEST_F(DialogTest, TheListFillsTheClientAreaThroughEverySizeAndStateAndEveryShowing) {
  const auto proc = reinterpret_cast<DLGPROC>(::GetWindowLongPtrW(m_dlg.m_hWnd, DWLP_DLGPROC));
  ::InvalidateRect(m_dlg.m_hWnd, nullptr, FALSE);
  EXPECT_EQ(proc(m_dlg.m_hWnd, WM_PAINT, 0, 0), FALSE);
  EXPECT_TRUE(::GetUpdateRect(m_dlg.m_hWnd, nullptr, FALSE)) << "painted from inside the dialog procedure";
  for (const auto& [command, iconic, zoomed] :
       {std::tuple{WPARAM{0}, FALSE, FALSE}, {SC_MAXIMIZE, FALSE, TRUE}, {SC_MINIMIZE, TRUE, FALSE}, {SC_RESTORE, FALSE, TRUE}}) {
    if (command) Send(WM_SYSCOMMAND, command);
    if (!command) ::SetWindowPos(m_dlg.m_hWnd, nullptr, 0, 0, 700, 400, SWP_NOMOVE | SWP_NOZORDER);
    RECT client, list;
    ::GetClientRect(m_dlg.m_hWnd, &client);
    ::GetWindowRect(m_list, &list);
    ::MapWindowPoints(nullptr, m_dlg.m_hWnd, reinterpret_cast<POINT*>(&list), 2);
    EXPECT_EQ(std::tuple(list.left, list.top, list.right, list.bottom, ::IsIconic(m_dlg.m_hWnd), ::IsZoomed(m_dlg.m_hWnd)),
              std::tuple(0L, 0L, client.right, client.bottom, iconic, zoomed))
        << command;
  }
  for (const auto& [client, origin] : {std::pair{33, 1L}, std::pair{32, 0L}, std::pair{0, -15L}, std::pair{1, -15L}, std::pair{2, -14L}}) {
    EXPECT_EQ(std::pair(CQuorvelDlg::IconOrigin(client, 160, 32, 32).x, CQuorvelDlg::IconOrigin(160, client, 32, 32).y), std::pair(origin, origin))
        << client;
  }
  Send(WM_COMMAND, IDCANCEL);
  EXPECT_EQ(std::pair(::IsWindow(m_list), m_dlg.m_regionList.GetSafeHwnd()), std::pair(FALSE, HWND{}));  // no dead handle is kept
  m_dlg.OpenAtStart(m_layout);
  ASSERT_TRUE(m_dlg.Create());
  m_list = ::GetDlgItem(m_dlg.m_hWnd, IDC_REGION_LIST);
  EXPECT_TRUE(Rows().empty());  // opened once the window shows: after the messages waiting for it
  for (MSG msg; ::PeekMessageW(&msg, m_dlg.m_hWnd, 0, 0, PM_REMOVE);) ::DispatchMessageW(&msg);
  EXPECT_EQ(m_dlg.m_regionList.GetSafeHwnd(), m_list);
  EXPECT_EQ(Rows(), kBoardRows);
  const std::pair<const wchar_t*, std::optional<std::string>> cases[] = {
      {L"Quorvel.exe", std::nullopt},
      {L"\"C:\\Program Files\\Quorvel.exe\" \"Z:\\a b\\board.conf\"", "Z:\\a b\\board.conf"},
      {L"Quorvel.exe board.conf", testing::Utf8Path(std::filesystem::current_path() / "board.conf")},
      {L"Quorvel.exe a.conf b.conf", std::nullopt},
      {L"Quorvel.exe \"\"", std::nullopt},
  };
  for (const auto& [commandLine, path] : cases) {
    EXPECT_EQ(StartLayoutPath(qfw::AfxCommandLineArguments(commandLine)), path) << WideToUtf8(commandLine);
  }
  HWND about = nullptr;
  {
    CAboutDlg dialog;
    ASSERT_TRUE(dialog.Create());
    about = dialog.m_hWnd;
  }
  EXPECT_FALSE(::IsWindow(about));
}

// What the system's file dialog is told beyond what the user sees of it: room for any path; and the
// entry the user chose, which gives the output's form unless the typed name's extension does.
TEST(ChooserRequest, GivesTheFileDialogRoomForAnyPathAndTakesBackTheChosenEntry) {
  ChooserRequest request(nullptr, kOutputChooser);
  EXPECT_GE(request.Get().nMaxFile, 32768u);
  request.Get().nFilterIndex = 3;  // as the dialog leaves it when the user chose the third entry
  EXPECT_EQ(std::pair(request.Chosen().path, request.Chosen().filterIndex), std::pair(std::string("all.bin"), DWORD{3}));
  const std::pair<ChosenFile, OutputFormat> cases[] = {
      {{"all.bin", 1}, OutputFormat::Binary}, {{"all.bin", 2}, OutputFormat::Binary}, {{"out", 3}, OutputFormat::IntelHex},
      {{"out", 2}, OutputFormat::SRecord},    {{"out.txt", 4}, OutputFormat::Binary}, {{"x.mot", 1}, OutputFormat::SRecord},
      {{"X.S37", 4}, OutputFormat::SRecord},  {{"x.hex", 2}, OutputFormat::IntelHex}, {{"x.srec", 3}, OutputFormat::SRecord},
  };
  for (const auto& [chosen, format] : cases) EXPECT_EQ(OutputFormatFor(chosen), format) << chosen.path << " " << chosen.filterIndex;
}

}  // namespace
}  // namespace quorvel
