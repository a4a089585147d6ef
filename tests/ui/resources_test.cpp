// The two dialogs as a user meets them: caption, frame and font as the open windows have them.
// Their controls, the version, the icons and the manifest are checked on the real Quorvel.exe (e2e).
#include <windows.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "about_dlg.h"
#include "framework/wide.h"
#include "quorvel_dlg.h"
#include "test_support.h"

namespace quorvel {
namespace {

constexpr DWORD kFrame = WS_POPUP | WS_CHILD | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
constexpr DWORD kEdges = WS_EX_APPWINDOW | WS_EX_CLIENTEDGE | WS_EX_DLGMODALFRAME;

struct DialogCase {
  std::string what;
  std::function<std::unique_ptr<qfw::CDialog>()> make;
  std::string caption;
  DWORD frame;  // the style's bits of kFrame
  DWORD edges;  // the extended style's bits of kEdges
};

class DialogLook : public ::testing::TestWithParam<DialogCase> {};

TEST_P(DialogLook, CaptionFrameAndFont) {
  const std::unique_ptr<qfw::CDialog> dialog = GetParam().make();
  ASSERT_TRUE(dialog->Create());
  const HWND window = dialog->m_hWnd;
  wchar_t caption[64] = {};
  ::GetWindowTextW(window, caption, 64);
  EXPECT_EQ(qfw::Narrow(caption), GetParam().caption);
  EXPECT_EQ(::GetWindowLongW(window, GWL_STYLE) & kFrame, GetParam().frame);
  EXPECT_EQ(::GetWindowLongW(window, GWL_EXSTYLE) & kEdges, GetParam().edges);
  LOGFONTW font{};
  ASSERT_TRUE(::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(window, WM_GETFONT, 0, 0)), sizeof font, &font));
  EXPECT_EQ(qfw::Narrow(font.lfFaceName), "ＭＳ Ｐゴシック");
  const HDC screen = ::GetDC(nullptr);
  EXPECT_EQ(font.lfHeight, -::MulDiv(9, ::GetDeviceCaps(screen, LOGPIXELSY), 72));  // 9 points
  ::ReleaseDC(nullptr, screen);
  ::DestroyWindow(window);
}

INSTANTIATE_TEST_SUITE_P(
    Resources, DialogLook,
    ::testing::Values(
        DialogCase{"main window", [] { return std::make_unique<CQuorvelDlg>(); }, "ミルテカ",
                   WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX, WS_EX_APPWINDOW | WS_EX_CLIENTEDGE},
        DialogCase{"about box", [] { return std::make_unique<CAboutDlg>(); }, "Quorvelのﾊﾞｰｼﾞｮﾝ情報",
                   WS_POPUP | WS_CAPTION | WS_SYSMENU, WS_EX_DLGMODALFRAME}),
    testing::NameFromWhat());

struct IconCase {
  int clientWidth, clientHeight, x, y;
};

TEST(MinimisedIcon, IsCentredWithDivisionTowardsZero) {
  const IconCase cases[] = {{33, 33, 1, 1}, {32, 32, 0, 0}, {160, 27, 64, -2}, {0, 0, -15, -15}, {1, 2, -15, -14}};
  for (const IconCase& c : cases) {
    const POINT p = CQuorvelDlg::IconOrigin(c.clientWidth, c.clientHeight, 32, 32);
    EXPECT_EQ(p.x, c.x) << c.clientWidth;
    EXPECT_EQ(p.y, c.y) << c.clientHeight;
  }
}

}  // namespace
}  // namespace quorvel
