// The real main dialog and list control, in this process, with the user's answers supplied by the test.
#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "command_line.h"
#include "framework/app.h"
#include "framework/wide.h"
#include "quorvel_dlg.h"
#include "test_support.h"
#include "text.h"

namespace quorvel {
namespace {

using qfw::Narrow;
using qfw::Wide;
using Texts = std::vector<std::string>;

static_assert(!std::is_copy_constructible_v<qfw::CWnd> && !std::is_copy_assignable_v<qfw::CWnd> &&
              !std::is_copy_constructible_v<CQuorvelDlg> && !std::is_copy_assignable_v<qfw::CListCtrl>);

// Answers in the user's place and remembers what was asked and shown.
class FakePrompts final : public UserPrompts {
 public:
  std::optional<ChosenFile> ChooseFile(HWND owner, const FileChooser& chooser) override {
    asked.push_back({owner, &chooser});
    if (fail) fail();
    if (answers.empty()) return std::nullopt;
    std::optional<ChosenFile> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override {
    shown.push_back({owner, text, caption, type, ::GetCursor() == ::LoadCursorW(nullptr, IDC_WAIT)});
    return IDOK;
  }

  std::function<void()> fail;                     // how the chooser fails, if it does
  std::deque<std::optional<ChosenFile>> answers;  // none: the user cancels
  std::vector<std::pair<HWND, const FileChooser*>> asked;
  struct Shown { HWND owner; std::string text, caption; UINT type; bool waitCursor; };
  std::vector<Shown> shown;
};

constexpr char kHighLayout[] =  // regions at and above 2 GiB, the lowest looked up last
    "[bootloader]\r\nOFFSET=0x80000000\r\n[kernel]\r\nOFFSET=0x80100000\r\n[userland]\r\nOFFSET=0xFFFFFFFF\r\n"
    "[free1]\r\nOFFSET=0x100000000\r\n[ipl]\r\nOFFSET=0x7FFFFFFF\r\n";
const Texts kHighRows = {"0x7FFFFFFF||ipl|", "0x80000000||bootloader|", "0x80100000||kernel|", "0xFFFFFFFF||userland|",
                         "0x100000000||free1|"};
const Texts kBoardRows = {"0|0x10|ipl|", "10|0xF0|bootloader|", "0x100|0x8|kernel|"};
const std::string kCannotOpen = "ファイルを開けません。 (error)";

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::WriteBytes(m_layout, "[kernel]\r\nOFFSET=0x100\r\nSIZE=0x8\r\n[ipl]\r\nOFFSET=0\r\nSIZE=0x10\r\n"
                                  "[bootloader]\r\nOFFSET=10\r\nSIZE=0xF0\r\n");
    testing::WriteBytes(m_kernel, "KRNL");
    testing::WriteBytes(m_dir.Path("high.conf"), kHighLayout);
    testing::WriteBytes(m_dir.Path("high layout.txt"), kHighLayout);
    std::filesystem::create_directory(testing::FsPath(m_dir.Path("folder.conf")));
    Show();
  }
  void TearDown() override { ::DestroyWindow(m_dlg.m_hWnd); }
  void Show() {
    ASSERT_TRUE(m_dlg.Create());
    ASSERT_TRUE(m_list = ::GetDlgItem(m_dlg.m_hWnd, IDC_REGION_LIST));
  }

  void Command(UINT id) { ::SendMessageW(m_dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  void Answer(const std::string& path, DWORD filterIndex = 1) { m_prompts.answers.push_back(ChosenFile{path, filterIndex}); }
  void OpenLayout(const std::string& path) { Answer(path); Command(ID_MENU_OPEN); }
  void Execute(const std::string& output, DWORD filterIndex = 1) { Answer(output, filterIndex); Command(ID_MENU_EXECUTE); }
  // Selects the row (none for -1) and double-clicks the list; returns the handler's result.
  LRESULT DoubleClick(int selected, int underPointer) {
    ListView_SetItemState(m_list, selected, selected < 0 ? 0 : LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    NMITEMACTIVATE nm{};
    nm.hdr = {m_list, IDC_REGION_LIST, static_cast<UINT>(NM_DBLCLK)};
    nm.iItem = underPointer;
    ::SetWindowLongPtrW(m_dlg.m_hWnd, DWLP_MSGRESULT, 12345);
    ::SendMessageW(m_dlg.m_hWnd, WM_NOTIFY, IDC_REGION_LIST, reinterpret_cast<LPARAM>(&nm));
    return ::GetWindowLongPtrW(m_dlg.m_hWnd, DWLP_MSGRESULT);
  }
  std::string Cell(int row, int column) {
    wchar_t text[4096] = {};
    ListView_GetItemText(m_list, row, column, text, 4096);
    return Narrow(text);
  }
  // "address|size|region|image" for every row the list shows.
  Texts Rows() {
    Texts rows;
    const int count = static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) rows.push_back(Cell(row, 0) + "|" + Cell(row, 1) + "|" + Cell(row, 2) + "|" + Cell(row, 3));
    return rows;
  }
  // What the user was shown, " (error)" after the text for the error icon; each in a box that the
  // dialog owns, without a caption.
  Texts Messages() {
    Texts texts;
    for (const auto& s : m_prompts.shown) {
      EXPECT_EQ(std::pair(s.owner, s.caption), std::pair(m_dlg.m_hWnd, std::string()));
      texts.push_back(s.text + (s.type == MB_ICONERROR ? " (error)" : s.type == MB_OK ? "" : " (?)"));
    }
    return texts;
  }
  // The choosers asked for, each owned by the dialog.
  std::vector<std::pair<HWND, const FileChooser*>> Asked(std::initializer_list<const FileChooser*> choosers) {
    std::vector<std::pair<HWND, const FileChooser*>> asked;
    for (const FileChooser* chooser : choosers) asked.emplace_back(m_dlg.m_hWnd, chooser);
    return asked;
  }

  testing::TempDir m_dir;
  std::string m_layout = m_dir.Path("board é 😀.conf");
  std::string m_kernel = m_dir.Path("カーネル.bin");
  FakePrompts m_prompts;
  CQuorvelDlg m_dlg{nullptr, m_prompts};
  HWND m_list = nullptr;
};

TEST_F(DialogTest, OpensWithTheFourEmptyColumnsTheAboutEntryAndTheIcons) {
  const std::pair<const char*, int> columns[] = {{"アドレス", 75}, {"サイズ", 75}, {"リージョン名", 100}, {"イメージファイル", 300}};
  const HWND header = reinterpret_cast<HWND>(::SendMessageW(m_list, LVM_GETHEADER, 0, 0));
  EXPECT_EQ(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 4);
  for (int i = 0; i < 4; ++i) {
    wchar_t text[64] = {};
    LVCOLUMNW col{LVCF_TEXT | LVCF_WIDTH | LVCF_FMT, 0, 0, text, 64, 0, 0, 0, 0, 0, 0};
    ASSERT_TRUE(ListView_GetColumn(m_list, i, &col));
    EXPECT_EQ(std::tuple(Narrow(text), col.cx, col.fmt & LVCFMT_JUSTIFYMASK), std::tuple(columns[i].first, columns[i].second, LVCFMT_LEFT));
  }
  EXPECT_EQ(::SendMessageW(m_list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);
  const LONG style = ::GetWindowLongW(m_list, GWL_STYLE);
  EXPECT_EQ(style & (LVS_TYPEMASK | LVS_SINGLESEL | LVS_SHOWSELALWAYS), LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS);
  EXPECT_TRUE(::GetWindowLongW(m_dlg.m_hWnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES);
  EXPECT_TRUE(Rows().empty());
  // The system menu ends with the about entry; the icons are the program's.
  const HMENU menu = ::GetSystemMenu(m_dlg.m_hWnd, FALSE);
  const int count = ::GetMenuItemCount(menu);
  wchar_t text[64] = {};
  ::GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
  EXPECT_EQ(std::tuple(::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR, ::GetMenuItemID(menu, count - 1), Narrow(text)),
            std::tuple(UINT{MF_SEPARATOR}, UINT{IDM_ABOUTBOX}, "ﾊﾞｰｼﾞｮﾝ情報(&A)..."));
  EXPECT_NE(m_dlg.m_hIcon, nullptr);
  for (const auto& [message, which] : {std::pair{WM_QUERYDRAGICON, 0}, std::pair{WM_GETICON, ICON_BIG}, std::pair{WM_GETICON, ICON_SMALL}}) {
    EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(m_dlg.m_hWnd, message, which, 0)), m_dlg.m_hIcon) << message << " " << which;
  }
}

TEST_F(DialogTest, LayoutsAsTheyCanBeRead) {
  // heldSharing: another handle holds the file open for reading and writing, sharing it so.
  const struct { std::string what, path; std::optional<DWORD> heldSharing; Texts rows, messages; } cases[] = {
      {"regions by address", m_layout, {}, kBoardRows, {}},
      {"regions at and above 2 GiB by address", m_dir.Path("high.conf"), {}, kHighRows, {}},
      {"held open by an editor", m_layout, FILE_SHARE_READ | FILE_SHARE_WRITE, kBoardRows, {}},
      {"held open without sharing", m_layout, 0, {}, {kCannotOpen}},
      {"missing", m_dir.Path("missing.conf"), {}, {}, {kCannotOpen}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OpenLayout(m_dir.Path("high.conf"));
    m_prompts.shown.clear();
    const HANDLE held = c.heldSharing ? ::CreateFileW(Wide(c.path).c_str(), GENERIC_READ | GENERIC_WRITE, *c.heldSharing,
                                                      nullptr, OPEN_EXISTING, 0, nullptr) : INVALID_HANDLE_VALUE;
    OpenLayout(c.path);
    ::CloseHandle(held);
    EXPECT_EQ(Rows(), c.rows);
    EXPECT_EQ(Messages(), c.messages);
  }
  OpenLayout(m_layout);
  m_prompts.answers.push_back(std::nullopt);
  Command(ID_MENU_OPEN);  // cancelled: the rows stay
  EXPECT_EQ(Rows(), kBoardRows);
  LVITEMW item{LVIF_PARAM, 2, 0, 0, 0, nullptr, 0, 0, 0, 0, 0, 0, nullptr, nullptr, 0};
  EXPECT_TRUE(ListView_GetItem(m_list, &item) && item.lParam == 0x100) << "the item data is the sort key";
}

TEST_F(DialogTest, DoubleClickAssignsAnImageToTheSelectedRow) {
  OpenLayout(m_layout);
  DoubleClick(-1, -1);  // no row selected: no chooser
  Answer(m_kernel);
  EXPECT_EQ(DoubleClick(2, 0), 0);  // the selected row counts, not the one reported under the pointer
  EXPECT_EQ(Rows(), (Texts{kBoardRows[0], kBoardRows[1], kBoardRows[2] + m_kernel}));
  EXPECT_EQ(m_prompts.asked, Asked({&kLayoutChooser, &kImageChooser}));
  Answer(m_dir.Path("second.bin"));
  DoubleClick(2, 2);
  m_prompts.answers.push_back(std::nullopt);
  DoubleClick(2, 2);  // cancelled: the second stays
  EXPECT_EQ(Cell(2, COL_IMAGE), m_dir.Path("second.bin"));
  OpenLayout(m_layout);  // loading again drops the image choices
  EXPECT_EQ(Rows(), kBoardRows);
}

TEST_F(DialogTest, ExecuteWritesTheImageWithAWaitCursorFromImagesOfAnyPathLength) {
  std::string image = m_dir.Path("");
  while (Utf8Length(image) < 300) std::filesystem::create_directory(testing::FsPath(image += "長いフォルダー名 long folder name\\"));
  testing::WriteBytes(image += "kernel.bin", "LONG");
  Command(ID_MENU_EXECUTE);  // before any layout: nothing to write, no chooser
  OpenLayout(m_layout);
  m_prompts.answers.push_back(std::nullopt);
  Command(ID_MENU_EXECUTE);  // cancelled
  Answer(image);
  DoubleClick(2, 2);
  EXPECT_EQ(Cell(2, COL_IMAGE), image);  // whole, however long
  const std::string output = m_dir.Path("出力 ü.bin");
  Execute(output);
  EXPECT_EQ(m_prompts.asked, Asked({&kLayoutChooser, &kOutputChooser, &kImageChooser, &kOutputChooser}));
  EXPECT_EQ(Messages(), (Texts{"イメージデータが入力されていません。 (error)", "イメージファイルを作成しました。"}));
  EXPECT_TRUE(m_prompts.shown[1].waitCursor);
  EXPECT_NE(::GetCursor(), ::LoadCursorW(nullptr, IDC_WAIT));
  EXPECT_EQ(testing::ReadBytes(output), std::string(0x10 + 0xF0, '\xFF') + "LONG" + std::string(4, '\xFF'));
}

TEST_F(DialogTest, TheOutputChooserPicksTheFormatAndTheLayoutIsNeverWrittenOver) {
  OpenLayout(m_layout);
  Execute(m_dir.Path("fw"), 3);  // the Intel HEX entry, a name without an extension
  EXPECT_TRUE(testing::ReadBytes(m_dir.Path("fw")).ends_with(":00000001FF\r\n"));
  const std::string layout = testing::ReadBytes(m_layout);
  Execute(m_layout);
  EXPECT_TRUE(testing::ReadBytes(m_layout) == layout) << "the layout was written over";
  EXPECT_EQ(Messages().back(), "レイアウトファイルと同じファイルには出力できません。 (error)");
}

TEST(OutputFormatFor, TheTypedExtensionWinsElseTheChosenEntry) {
  const std::pair<ChosenFile, OutputFormat> cases[] = {
      {{"all.bin", 1}, OutputFormat::Binary}, {{"all.bin", 2}, OutputFormat::Binary}, {{"out", 3}, OutputFormat::IntelHex},
      {{"out", 2}, OutputFormat::SRecord},
      {{"out.txt", 4}, OutputFormat::Binary}, {{"x.mot", 1}, OutputFormat::SRecord},   {{"X.S37", 4}, OutputFormat::SRecord},
      {{"x.hex", 2}, OutputFormat::IntelHex}, {{"x.srec", 3}, OutputFormat::SRecord},
  };
  for (const auto& [chosen, format] : cases) EXPECT_EQ(OutputFormatFor(chosen), format) << chosen.path << " " << chosen.filterIndex;
}

struct DropCase {
  const char* what;
  bool loadedFirst;
  Texts files;
  enum { OnTheLastRow, BelowTheRows, OnTheCaption } where;
  Texts rows;  // afterwards, the image paths without their folder
};

class DropTest : public DialogTest, public ::testing::WithParamInterface<DropCase> {};

// The files come as the shell drops them: DROPFILES, then the wide names, each ended, and one more end.
TEST_P(DropTest, FilesDroppedOntoTheDialog) {
  const DropCase& c = GetParam();
  if (c.loadedFirst) OpenLayout(m_layout);
  RECT row{};
  ListView_GetItemRect(m_list, static_cast<int>(Rows().size()) - 1, &row, LVIR_BOUNDS);
  POINT point = c.loadedFirst ? POINT{(row.left + row.right) / 2, (row.top + row.bottom) / 2} : POINT{40, 60};
  ::MapWindowPoints(m_list, m_dlg.m_hWnd, &point, 1);
  point.y = c.where == DropCase::OnTheCaption ? -8 : point.y + (c.where == DropCase::BelowTheRows ? 40 : 0);
  std::wstring files;
  for (const std::string& name : c.files) files += Wide(m_dir.Path(name)) + L'\0';
  const size_t bytes = (files.size() + 1) * sizeof(wchar_t);
  const HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, sizeof(DROPFILES) + bytes);
  auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
  *drop = {sizeof(DROPFILES), point, c.where == DropCase::OnTheCaption, TRUE};
  std::memcpy(drop + 1, files.c_str(), bytes);
  ::GlobalUnlock(memory);
  ::SendMessageW(m_dlg.m_hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(memory), 0);
  EXPECT_EQ(::GlobalFlags(memory), UINT{GMEM_INVALID_HANDLE}) << "the drop was not finished";
  Texts rows = Rows();
  const std::string folder = m_dir.Path("");
  for (std::string& r : rows) {
    if (const size_t at = r.find(folder); at != std::string::npos) r.erase(at, folder.size());
  }
  EXPECT_EQ(rows, c.rows);
  EXPECT_EQ(m_prompts.asked.size(), c.loadedFirst ? 1u : 0u);  // a drop asks for nothing
  EXPECT_TRUE(m_prompts.shown.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Dialog, DropTest,
    ::testing::Values(DropCase{"a layout anywhere", true, {"high.conf"}, DropCase::OnTheLastRow, kHighRows},
                      DropCase{"an image onto a row", true, {"カーネル.bin"}, DropCase::OnTheLastRow,
                               {kBoardRows[0], kBoardRows[1], kBoardRows[2] + "カーネル.bin"}},
                      DropCase{"an image below the rows", true, {"カーネル.bin"}, DropCase::BelowTheRows, kBoardRows},
                      DropCase{"any file on the caption", true, {"high layout.txt"}, DropCase::OnTheCaption, kHighRows},
                      DropCase{"any file onto an empty list", false, {"high layout.txt"}, DropCase::OnTheLastRow, kHighRows},
                      DropCase{"several files", true, {"カーネル.bin", "high.conf"}, DropCase::OnTheLastRow, kBoardRows},
                      DropCase{"a folder", false, {"folder.conf"}, DropCase::OnTheLastRow, {}}),
    testing::NameFromWhat());

TEST_F(DialogTest, ShownAgainItBindsTheNewListAndOpensTheLayoutGivenAtStart) {
  for (const auto& [layout, rows, messages] : {std::tuple{m_layout, kBoardRows, Texts{}}, std::tuple{m_dir.Path("no.conf"), Texts{}, Texts{kCannotOpen}}}) {
    ::DestroyWindow(m_dlg.m_hWnd);
    EXPECT_EQ(m_dlg.m_regionList.GetSafeHwnd(), nullptr);  // no dead handle is kept
    m_prompts.shown.clear();
    m_dlg.OpenAtStart(layout);
    Show();
    EXPECT_TRUE(Rows().empty());  // opened once the window shows: after the messages waiting for it
    for (MSG msg; ::PeekMessageW(&msg, m_dlg.m_hWnd, 0, 0, PM_REMOVE);) ::DispatchMessageW(&msg);
    EXPECT_EQ(m_dlg.m_regionList.GetSafeHwnd(), m_list);
    EXPECT_EQ(Rows(), rows);
    EXPECT_EQ(Messages(), messages);
  }
}

TEST(StartLayoutPath, TheOneArgumentAsAFullPath) {
  const std::pair<const wchar_t*, std::optional<std::string>> cases[] = {
      {L"Quorvel.exe", std::nullopt},
      {L"\"C:\\Program Files\\Quorvel.exe\" \"Z:\\a b\\board.conf\"", "Z:\\a b\\board.conf"},
      {L"Quorvel.exe board.conf", testing::Utf8Path(std::filesystem::current_path() / "board.conf")},
      {L"Quorvel.exe a.conf b.conf", std::nullopt},
      {L"Quorvel.exe \"\"", std::nullopt},
  };
  for (const auto& [commandLine, path] : cases) {
    EXPECT_EQ(StartLayoutPath(qfw::AfxCommandLineArguments(commandLine)), path) << Narrow(commandLine);
  }
}

TEST_F(DialogTest, WhatTheDialogLeavesToTheDialogManagerReturnsFalse) {
  const auto proc = reinterpret_cast<DLGPROC>(::GetWindowLongPtrW(m_dlg.m_hWnd, DWLP_DLGPROC));
  ::InvalidateRect(m_dlg.m_hWnd, nullptr, FALSE);
  EXPECT_EQ(proc(m_dlg.m_hWnd, WM_PAINT, 0, 0), FALSE);  // not minimised: the manager paints
  EXPECT_TRUE(::GetUpdateRect(m_dlg.m_hWnd, nullptr, FALSE)) << "painted from inside the dialog procedure";
  EXPECT_EQ(proc(m_dlg.m_hWnd, WM_SYSCOMMAND, SC_RESTORE, 0), FALSE);
  EXPECT_EQ(proc(m_dlg.m_hWnd, WM_APP, 0, 0), FALSE);
  ::SendMessageW(m_dlg.m_hWnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);  // and the manager does it
  EXPECT_TRUE(::IsIconic(m_dlg.m_hWnd));
  ::SendMessageW(m_dlg.m_hWnd, WM_SYSCOMMAND, SC_RESTORE, 0);
  EXPECT_FALSE(::IsIconic(m_dlg.m_hWnd));
}

TEST_F(DialogTest, AHandlerThatThrowsEndsInAMessageAndTheDialogGoesOn) {
  for (std::function<void()> fail : {+[] { throw std::bad_alloc(); }, +[] { throw std::runtime_error("x"); }, +[] { throw 42; }}) {
    m_prompts.fail = fail;
    Command(ID_MENU_OPEN);
  }
  m_prompts.fail = nullptr;
  OpenLayout(m_layout);
  EXPECT_EQ(Rows(), kBoardRows);
  EXPECT_EQ(Messages(), (Texts{"メモリが足りません。 (error)", "予期しないエラーが発生しました。 (error)", "予期しないエラーが発生しました。 (error)"}));
}

TEST(ChooserRequest, GivesTheFileDialogWhatTheChooserSays) {
  const HWND owner = reinterpret_cast<HWND>(0x1234);
  ChooserRequest request(owner, kOutputChooser);
  const OPENFILENAMEW& ofn = request.Get();
  const wchar_t filter[] = L"イメージファイル(*.bin)\0*.bin\0Sレコードファイル(*.mot;*.srec;*.s19;*.s28;*.s37)\0"
                           L"*.mot;*.srec;*.s19;*.s28;*.s37\0インテルHEXファイル(*.hex)\0*.hex\0全てのファイル(*.*)\0*.*\0";
  EXPECT_EQ(std::wstring(ofn.lpstrFilter, std::size(filter)), std::wstring(filter, std::size(filter)));
  EXPECT_EQ(std::tuple(ofn.lStructSize, ofn.hwndOwner, ofn.nFilterIndex, ofn.Flags, std::wstring(ofn.lpstrFile), ofn.lpstrFileTitle),
            std::tuple(DWORD{sizeof ofn}, owner, DWORD{1}, DWORD{OFN_OVERWRITEPROMPT}, std::wstring(L"all.bin"), nullptr));
  EXPECT_GE(ofn.nMaxFile, 32768u);  // any path Windows has, not only MAX_PATH
  EXPECT_EQ(std::wstring(ofn.lpstrTitle) + L"|" + ofn.lpstrDefExt, L"保存するファイル名を入力してください|txt");
  request.Get().nFilterIndex = 3;  // as the dialog leaves it when the user chose the third entry
  EXPECT_EQ(std::pair(request.Chosen().path, request.Chosen().filterIndex), std::pair(std::string("all.bin"), DWORD{3}));
}

// The list keeps the table: a cell comes back whole up to one character short of the capacity.
TEST_F(DialogTest, CellsComeBackWholeUpToTheCapacity) {
  ListRegionTable table(m_dlg.m_regionList);
  table.Append("0", 0);
  table.SetCell(0, COL_SIZE, std::string(40, '7'));
  EXPECT_EQ(table.GetCell(0, COL_SIZE, 32), std::string(31, '7'));
  EXPECT_EQ(table.GetCell(0, COL_SIZE, 41), std::string(40, '7'));
  const std::string path(5000, 'p');
  table.SetCell(0, COL_IMAGE, path);
  EXPECT_EQ(table.GetCell(0, COL_IMAGE, kImagePathCapacity), path);
}

TEST_F(DialogTest, TheListFillsTheClientAreaWhateverTheWindowSize) {
  for (const auto& [width, height] : {std::pair{700, 400}, std::pair{320, 180}}) {
    ::SetWindowPos(m_dlg.m_hWnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    RECT client, list;
    ::GetClientRect(m_dlg.m_hWnd, &client);
    ::GetWindowRect(m_list, &list);
    ::MapWindowPoints(nullptr, m_dlg.m_hWnd, reinterpret_cast<POINT*>(&list), 2);
    EXPECT_EQ(std::tuple(list.left, list.top, list.right, list.bottom), std::tuple(0L, 0L, client.right, client.bottom)) << width;
  }
}

}  // namespace
}  // namespace quorvel
