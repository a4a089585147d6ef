// The real main dialog and list control, in this process, with the user's answers supplied by the test.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "framework/wide.h"
#include "messages.h"
#include "quorvel_dlg.h"
#include "resource.h"
#include "test_support.h"
#include "text.h"

namespace quorvel {
namespace {

using qfw::Narrow;
using qfw::Wide;
using testing::TempDir;

// Answers in the user's place and remembers what was asked.
class FakePrompts final : public UserPrompts {
 public:
  struct Asked {
    HWND owner;
    const FileChooser* chooser;
  };
  struct Shown {
    HWND owner;
    std::string text, caption;
    UINT type;
    bool waitCursor;
  };

  std::optional<std::string> ChooseFile(HWND owner, const FileChooser& chooser) override {
    asked.push_back({owner, &chooser});
    if (answers.empty()) return std::nullopt;
    std::optional<std::string> answer = answers.front();
    answers.pop_front();
    return answer;
  }
  int MessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override {
    shown.push_back({owner, text, caption, type, ::GetCursor() == ::LoadCursorW(nullptr, IDC_WAIT)});
    return IDOK;
  }

  std::deque<std::optional<std::string>> answers;  // none: the user cancels
  std::vector<Asked> asked;
  std::vector<Shown> shown;
};

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_dlg.Create());
    m_list = ::GetDlgItem(m_dlg.m_hWnd, IDC_REGION_LIST);
    ASSERT_TRUE(m_list);
    testing::WriteBytes(m_layout, "[kernel]\r\nOFFSET=0x100\r\nSIZE=0x8\r\n[ipl]\r\nOFFSET=0\r\nSIZE=0x10\r\n"
                                  "[bootloader]\r\nOFFSET=10\r\nSIZE=0xF0\r\n");
    testing::WriteBytes(m_kernel, "KRNL");
  }
  void TearDown() override { ::DestroyWindow(m_dlg.m_hWnd); }

  void Command(UINT id) { ::SendMessageW(m_dlg.m_hWnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  void OpenLayout(const std::string& path) {
    m_prompts.answers.push_back(path);
    Command(ID_MENU_OPEN);
  }
  void Select(int row) {
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = row < 0 ? 0 : LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageW(m_list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
  // Selects the row and double-clicks it, answering the chooser with path.
  void AssignImage(int row, const std::string& path) {
    Select(row);
    m_prompts.answers.push_back(path);
    DoubleClick(row);
  }
  void Execute(const std::string& output) {
    m_prompts.answers.push_back(output);
    Command(ID_MENU_EXECUTE);
  }
  // The list's NM_DBLCLK, as the control sends it to the dialog; returns the handler's result.
  LRESULT DoubleClick(int row) {
    NMITEMACTIVATE nm{};
    nm.hdr = {m_list, IDC_REGION_LIST, static_cast<UINT>(NM_DBLCLK)};
    nm.iItem = row;
    ::SetWindowLongPtrW(m_dlg.m_hWnd, DWLP_MSGRESULT, 12345);
    ::SendMessageW(m_dlg.m_hWnd, WM_NOTIFY, IDC_REGION_LIST, reinterpret_cast<LPARAM>(&nm));
    return ::GetWindowLongPtrW(m_dlg.m_hWnd, DWLP_MSGRESULT);
  }
  std::string Cell(int row, int column) {
    wchar_t text[4096] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 4096;
    ::SendMessageW(m_list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return Narrow(text);
  }
  // "address|size|region|image" for every row the list shows.
  std::vector<std::string> Rows() {
    std::vector<std::string> rows;
    const int count = static_cast<int>(::SendMessageW(m_list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
      rows.push_back(Cell(row, 0) + "|" + Cell(row, 1) + "|" + Cell(row, 2) + "|" + Cell(row, 3));
    }
    return rows;
  }

  TempDir m_dir;
  std::string m_layout = m_dir.Path("board é 😀.conf");
  std::string m_kernel = m_dir.Path("カーネル.bin");
  FakePrompts m_prompts;
  CQuorvelDlg m_dlg{nullptr, m_prompts};
  HWND m_list = nullptr;
};

TEST_F(DialogTest, OpensWithTheFourEmptyColumns) {
  const char* headers[] = {"アドレス", "サイズ", "リージョン名", "イメージファイル"};
  const int widths[] = {75, 75, 100, 300};
  const HWND header = reinterpret_cast<HWND>(::SendMessageW(m_list, LVM_GETHEADER, 0, 0));
  EXPECT_EQ(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0), 4);
  for (int i = 0; i < 4; ++i) {
    wchar_t text[64] = {};
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    col.pszText = text;
    col.cchTextMax = 64;
    ASSERT_TRUE(::SendMessageW(m_list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&col)));
    EXPECT_EQ(Narrow(text), headers[i]);
    EXPECT_EQ(col.cx, widths[i]);
    EXPECT_EQ(col.fmt & LVCFMT_JUSTIFYMASK, LVCFMT_LEFT);
  }
  EXPECT_EQ(::SendMessageW(m_list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), LVS_EX_FULLROWSELECT);
  const LONG style = ::GetWindowLongW(m_list, GWL_STYLE);
  EXPECT_EQ(style & (LVS_TYPEMASK | LVS_SINGLESEL | LVS_SHOWSELALWAYS), LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS);
  EXPECT_TRUE(Rows().empty());
}

TEST_F(DialogTest, OpeningALayoutShowsItsRegionsByAddress) {
  OpenLayout(m_layout);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"0|0x10|ipl|", "10|0xF0|bootloader|", "0x100|0x8|kernel|"}));
  ASSERT_EQ(m_prompts.asked.size(), 1u);
  EXPECT_EQ(m_prompts.asked[0].chooser, &kLayoutChooser);
  EXPECT_EQ(m_prompts.asked[0].owner, m_dlg.m_hWnd);
  EXPECT_TRUE(m_prompts.shown.empty());
  LVITEMW item{};
  item.mask = LVIF_PARAM;
  item.iItem = 2;
  ::SendMessageW(m_list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(item.lParam, 0x100);
}

TEST_F(DialogTest, CancellingTheLayoutChooserKeepsTheRows) {
  OpenLayout(m_layout);
  m_prompts.answers.push_back(std::nullopt);
  Command(ID_MENU_OPEN);
  EXPECT_EQ(Rows().size(), 3u);
  EXPECT_TRUE(m_prompts.shown.empty());
}

TEST_F(DialogTest, LoadingAgainDropsImageChoicesAndAnUnreadableLayoutEmptiesTheListSilently) {
  OpenLayout(m_layout);
  AssignImage(2, m_kernel);
  OpenLayout(m_layout);
  EXPECT_EQ(Rows()[2], "0x100|0x8|kernel|");
  OpenLayout(m_dir.Path("missing.conf"));
  EXPECT_TRUE(Rows().empty());
  EXPECT_TRUE(m_prompts.shown.empty());
}

TEST_F(DialogTest, DoubleClickAssignsAnImageToTheSelectedRow) {
  OpenLayout(m_layout);
  Select(2);
  m_prompts.answers.push_back(m_kernel);
  EXPECT_EQ(DoubleClick(0), 0);  // the selected row counts, not the one reported under the pointer
  EXPECT_EQ(Rows()[2], "0x100|0x8|kernel|" + m_kernel);
  EXPECT_EQ(Rows()[0], "0|0x10|ipl|");
  ASSERT_EQ(m_prompts.asked.size(), 2u);
  EXPECT_EQ(m_prompts.asked[1].chooser, &kImageChooser);
  EXPECT_EQ(m_prompts.asked[1].owner, m_dlg.m_hWnd);

  const std::string second = m_dir.Path("second.bin");
  m_prompts.answers.push_back(second);
  DoubleClick(2);
  EXPECT_EQ(Cell(2, COL_IMAGE), second);
  m_prompts.answers.push_back(std::nullopt);
  DoubleClick(2);
  EXPECT_EQ(Cell(2, COL_IMAGE), second);
}

TEST_F(DialogTest, DoubleClickWithoutASelectedRowOpensNoChooser) {
  OpenLayout(m_layout);
  Select(-1);
  DoubleClick(-1);
  EXPECT_EQ(m_prompts.asked.size(), 1u);
}

TEST_F(DialogTest, ExecuteBeforeAnyLayoutSaysThereIsNothingAndOpensNoChooser) {
  Command(ID_MENU_EXECUTE);
  EXPECT_TRUE(m_prompts.asked.empty());
  ASSERT_EQ(m_prompts.shown.size(), 1u);
  EXPECT_EQ(m_prompts.shown[0].text, "イメージデータが入力されていません。");
  EXPECT_EQ(m_prompts.shown[0].caption, "");
  EXPECT_EQ(m_prompts.shown[0].type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(m_prompts.shown[0].owner, m_dlg.m_hWnd);
}

TEST_F(DialogTest, ExecuteWritesTheImageWithAWaitCursorAndSaysSo) {
  OpenLayout(m_layout);
  AssignImage(2, m_kernel);
  const std::string output = m_dir.Path("出力 ü.bin");
  Execute(output);
  ASSERT_EQ(m_prompts.asked.size(), 3u);
  EXPECT_EQ(m_prompts.asked[2].chooser, &kOutputChooser);
  ASSERT_EQ(m_prompts.shown.size(), 1u);
  EXPECT_EQ(m_prompts.shown[0].text, "イメージファイルを作成しました。");
  EXPECT_EQ(m_prompts.shown[0].type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(m_prompts.shown[0].caption, "");
  EXPECT_TRUE(m_prompts.shown[0].waitCursor);
  EXPECT_EQ(testing::ReadBytes(output), std::string(0x10 + 0xF0, '\xFF') + "KRNL" + std::string(4, '\xFF'));
  EXPECT_NE(::GetCursor(), ::LoadCursorW(nullptr, IDC_WAIT));
}

TEST_F(DialogTest, ImagePathsLongerThanMaxPathAreKeptWholeAndWritten) {
  std::string folder = "";
  while (Utf8Length(folder) < 300) {
    folder += (folder.empty() ? "" : "/") + std::string("長いフォルダー名 long folder name");
    std::filesystem::create_directory(testing::FsPath(m_dir.Path(folder)));
  }
  const std::string image = m_dir.Path(folder + "/kernel.bin");
  testing::WriteBytes(image, "LONG");
  ASSERT_GT(Utf8Length(image), 300u);
  OpenLayout(m_layout);
  AssignImage(2, image);
  EXPECT_EQ(Cell(2, COL_IMAGE), image);
  const std::string output = m_dir.Path("all.bin");
  Execute(output);
  ASSERT_EQ(m_prompts.shown.size(), 1u);
  EXPECT_EQ(m_prompts.shown[0].text, kMsgImageWritten);
  EXPECT_EQ(testing::ReadBytes(output).substr(0x100, 4), "LONG");
}

TEST_F(DialogTest, ExecuteWithoutImagesWritesOnlyFill) {
  OpenLayout(m_layout);
  const std::string output = m_dir.Path("all.bin");
  Execute(output);
  EXPECT_EQ(testing::ReadBytes(output), std::string(0x108, '\xFF'));
}

TEST_F(DialogTest, CancellingTheOutputChooserWritesNothing) {
  OpenLayout(m_layout);
  m_prompts.answers.push_back(std::nullopt);
  Command(ID_MENU_EXECUTE);
  EXPECT_EQ(m_prompts.asked.size(), 2u);
  EXPECT_TRUE(m_prompts.shown.empty());
}

TEST_F(DialogTest, AnOversizeImageIsReportedAsAnErrorAndNoOutputRemains) {
  OpenLayout(m_layout);
  testing::WriteBytes(m_kernel, "123456789");
  AssignImage(2, m_kernel);
  const std::string output = m_dir.Path("all.bin");
  Execute(output);
  ASSERT_EQ(m_prompts.shown.size(), 1u);
  EXPECT_EQ(m_prompts.shown[0].text, "リージョン'kernel'のファイルサイズが\r\nオーバーしています。");
  EXPECT_EQ(m_prompts.shown[0].type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_FALSE(testing::Exists(output));
}

TEST_F(DialogTest, TheChoosersAskAsDescribed) {
  EXPECT_EQ(kLayoutChooser.kind, FileChooser::Kind::Open);
  EXPECT_EQ(kLayoutChooser.title, "ファイルを選択して下さい");
  EXPECT_EQ(kLayoutChooser.filter, (std::vector<std::pair<std::string, std::string>>{
                                       {"設定ファイル(*.conf)", "*.conf"}, {"全てのファイル(*.*)", "*.*"}}));
  EXPECT_EQ(kLayoutChooser.flags, 0x1004u);
  EXPECT_EQ(kLayoutChooser.initialName, "");
  EXPECT_EQ(kImageChooser.title, "ファイルを選択して下さい");
  EXPECT_EQ(kImageChooser.filter[0].first, "イメージファイル(*.bin;*.bin.gz;*.img;*.img.gz)");
  EXPECT_EQ(kImageChooser.filter[0].second, "*.bin;*.bin.gz;*.img;*.img.gz");
  EXPECT_EQ(kImageChooser.filter[1].second, "*.*");
  EXPECT_EQ(kImageChooser.flags, 0x1004u);
  EXPECT_EQ(kOutputChooser.kind, FileChooser::Kind::Save);
  EXPECT_EQ(kOutputChooser.title, "保存するファイル名を入力してください");
  EXPECT_EQ(kOutputChooser.filter, (std::vector<std::pair<std::string, std::string>>{
                                       {"イメージファイル(*.bin)", "*.bin"}, {"全てのファイル(*.*)", "*.*"}}));
  EXPECT_EQ(kOutputChooser.initialName, "all.bin");
  EXPECT_EQ(kOutputChooser.flags, 0x2u);
  for (const FileChooser* c : {&kLayoutChooser, &kImageChooser, &kOutputChooser}) EXPECT_EQ(c->defaultExtension, "txt");
}

TEST(ChooserRequest, GivesTheFileDialogWhatTheChooserSays) {
  const HWND owner = reinterpret_cast<HWND>(0x1234);
  ChooserRequest request(owner, kOutputChooser);
  const OPENFILENAMEW& ofn = request.Get();
  EXPECT_EQ(ofn.lStructSize, sizeof(OPENFILENAMEW));
  EXPECT_EQ(ofn.hwndOwner, owner);
  EXPECT_EQ(std::wstring(ofn.lpstrFilter, 40),
            std::wstring(L"イメージファイル(*.bin)\0*.bin\0全てのファイル(*.*)\0*.*\0\0", 40));
  EXPECT_EQ(ofn.nFilterIndex, 1u);
  EXPECT_EQ(std::wstring(ofn.lpstrFile), L"all.bin");
  EXPECT_GE(ofn.nMaxFile, 32768u);  // any path Windows has, not only MAX_PATH
  EXPECT_EQ(ofn.lpstrFileTitle, nullptr);
  EXPECT_EQ(ofn.lpstrInitialDir, nullptr);
  EXPECT_EQ(std::wstring(ofn.lpstrTitle), L"保存するファイル名を入力してください");
  EXPECT_EQ(ofn.Flags, static_cast<DWORD>(OFN_OVERWRITEPROMPT));
  EXPECT_EQ(std::wstring(ofn.lpstrDefExt), L"txt");
  ChooserRequest open(owner, kLayoutChooser);
  EXPECT_EQ(open.Get().lpstrFile[0], L'\0');
  EXPECT_EQ(open.Get().Flags, static_cast<DWORD>(0x1004));
}

TEST_F(DialogTest, TheListFillsTheClientAreaWhateverTheWindowSize) {
  for (const auto& [width, height] : {std::pair{700, 400}, std::pair{320, 180}}) {
    ::SetWindowPos(m_dlg.m_hWnd, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    RECT client, list;
    ::GetClientRect(m_dlg.m_hWnd, &client);
    ::GetWindowRect(m_list, &list);
    ::MapWindowPoints(nullptr, m_dlg.m_hWnd, reinterpret_cast<POINT*>(&list), 2);
    EXPECT_EQ(list.left, 0);
    EXPECT_EQ(list.top, 0);
    EXPECT_EQ(list.right, client.right) << width;
    EXPECT_EQ(list.bottom, client.bottom) << height;
  }
}

TEST_F(DialogTest, TheSystemMenuEndsWithTheAboutEntry) {
  const HMENU menu = ::GetSystemMenu(m_dlg.m_hWnd, FALSE);
  const int count = ::GetMenuItemCount(menu);
  ASSERT_GE(count, 2);
  EXPECT_EQ(::GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR, static_cast<UINT>(MF_SEPARATOR));
  EXPECT_EQ(::GetMenuItemID(menu, count - 1), static_cast<UINT>(IDM_ABOUTBOX));
  wchar_t text[64] = {};
  ::GetMenuStringW(menu, count - 1, text, 64, MF_BYPOSITION);
  EXPECT_EQ(Narrow(text), "ﾊﾞｰｼﾞｮﾝ情報(&A)...");
}

TEST_F(DialogTest, TheMenuBarHasTheFileMenuAndTheExecuteCommand) {
  const HMENU bar = ::GetMenu(m_dlg.m_hWnd);
  ASSERT_EQ(::GetMenuItemCount(bar), 2);
  wchar_t text[64] = {};
  ::GetMenuStringW(bar, 0, text, 64, MF_BYPOSITION);
  EXPECT_EQ(Narrow(text), "ファイル(&F)");
  const HMENU file = ::GetSubMenu(bar, 0);
  ASSERT_EQ(::GetMenuItemCount(file), 1);
  EXPECT_EQ(::GetMenuItemID(file, 0), static_cast<UINT>(ID_MENU_OPEN));
  ::GetMenuStringW(file, 0, text, 64, MF_BYPOSITION);
  EXPECT_EQ(Narrow(text), "開く(&O)");
  EXPECT_EQ(::GetMenuItemID(bar, 1), static_cast<UINT>(ID_MENU_EXECUTE));
  ::GetMenuStringW(bar, 1, text, 64, MF_BYPOSITION);
  EXPECT_EQ(Narrow(text), "実行(&G)");
}

TEST_F(DialogTest, TheDragIconIsTheApplicationIcon) {
  const auto icon = reinterpret_cast<HICON>(::SendMessageW(m_dlg.m_hWnd, WM_QUERYDRAGICON, 0, 0));
  EXPECT_NE(icon, nullptr);
  EXPECT_EQ(icon, m_dlg.m_hIcon);
  EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(m_dlg.m_hWnd, WM_GETICON, ICON_BIG, 0)), m_dlg.m_hIcon);
  EXPECT_EQ(reinterpret_cast<HICON>(::SendMessageW(m_dlg.m_hWnd, WM_GETICON, ICON_SMALL, 0)), m_dlg.m_hIcon);
}

}  // namespace
}  // namespace quorvel
