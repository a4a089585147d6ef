// The main dialog's commands: open a layout, assign an image file to a region, write the image, and
// the same by dropping files onto the window.
#include <string_view>
#include <utility>

#include "base/text.h"
#include "files/path.h"
#include "framework/drop_files.h"
#include "framework/wnd.h"
#include "image/image_writer.h"
#include "image_run.h"
#include "layout/layout_loader.h"
#include "quorvel_dlg.h"

namespace quorvel {
namespace {

bool IsLayoutName(std::string_view path) {
  constexpr std::string_view kExtension = ".conf";
  return path.size() > kExtension.size() && qbase::AsciiLower(path.substr(path.size() - kExtension.size())) == kExtension;
}

}  // namespace

void CQuorvelDlg::OnOpenLayout() {
  const std::optional<ChosenFile> layout = m_prompts.ChooseFile(m_hWnd, kLayoutChooser);
  if (!layout) return;
  OpenLayout(layout->path);
}

// A layout that cannot be read leaves the list empty, and the user is told.
void CQuorvelDlg::OpenLayout(const std::string& path) {
  std::optional<std::vector<RegionRow>> rows = LoadLayout(path);
  m_regions.Show(rows ? std::move(*rows) : std::vector<RegionRow>());
  m_layoutPath = rows ? path : std::string();
  if (!rows) ShowMessage({MessageId::CannotOpen});
}

// A dropped file takes the list's place only when it is a layout with a region: a file dropped by
// mistake leaves the rows and their images as they were, and the user is told.
void CQuorvelDlg::OpenDroppedLayout(const std::string& path) {
  std::optional<std::vector<RegionRow>> rows = LoadLayout(path);
  if (!rows || rows->empty()) {
    ShowMessage(rows ? Message{MessageId::NotALayout, {}, path} : Message{MessageId::CannotOpen});
    return;
  }
  m_regions.Show(std::move(*rows));
  m_layoutPath = path;
}

// Acts on the selected row, which the double-click has normally just selected.
void CQuorvelDlg::OnRegionListDblClk(NMHDR* /*header*/, LRESULT* result) {
  const int row = m_regionList.GetNextItem(-1, LVNI_SELECTED);
  if (row < 0) return;
  const std::optional<ChosenFile> image = m_prompts.ChooseFile(m_hWnd, kImageChooser);
  if (!image) return;
  m_regions.SetImage(static_cast<size_t>(row), image->path);
  *result = 0;
}

// The layout given on the command line, opened once the window shows.
void CQuorvelDlg::OnOpenStartLayout() {
  if (!m_startLayout.empty()) OpenLayout(std::exchange(m_startLayout, {}));
}

// The image is written on a thread of its own while the window answers; a command that comes
// meanwhile (posted to the window) finds it busy and does nothing.
void CQuorvelDlg::OnExecute() {
  if (m_run) return;
  if (m_regions.Rows().empty()) {
    ShowMessage({MessageId::NoRegions});
    return;
  }
  const std::optional<ChosenFile> output = m_prompts.ChooseFile(m_hWnd, kOutputChooser);
  if (!output) return;
  OutputOptions options;
  options.format = OutputFormatFor(*output);
  options.layoutPath = m_layoutPath;
  const qfw::CWaitCursor wait;
  // The rows as they are now: the window answers while the image is written.
  ImageRun run(*this, m_regions.Rows(), output->path, std::move(options));
  m_run = &run;
  struct Running {  // however the run ends
    ImageRun*& slot;
    ~Running() { slot = nullptr; }
  } running{m_run};
  if (const std::optional<qfw::Failure> failure = run.Run()) ReportFailure(*failure);
}

// One file at a time. A layout (".conf") opens wherever it lands, as "開く(&O)" would; so does any
// file dropped where no row could take it: on the caption or the menu bar, or onto an empty list;
// unless it defines no region, which leaves the list as it is.
// A file dropped onto a row becomes that row's image, as a double-click would make it. Several
// files, a folder, or a file dropped beside the rows of a filled list: nothing.
void CQuorvelDlg::OnDropFiles(HDROP drop) {
  const qfw::CDropFiles files(drop);
  if (files.GetFileCount() != 1) return;
  const std::string path = files.GetFile(0);
  if (IsFolder(path)) return;
  POINT point{};
  const bool inClientArea = files.GetPoint(&point);
  if (IsLayoutName(path) || !inClientArea || m_regions.Rows().empty()) {
    OpenDroppedLayout(path);
    return;
  }
  if (const int row = RowAt(point); row >= 0) m_regions.SetImage(static_cast<size_t>(row), path);
}

int CQuorvelDlg::RowAt(POINT point) const {
  LVHITTESTINFO hit{};
  hit.pt = point;
  ::MapWindowPoints(m_hWnd, m_regionList.m_hWnd, &hit.pt, 1);
  const int row = m_regionList.SubItemHitTest(&hit);
  return (hit.flags & LVHT_ONITEM) ? row : -1;
}

}  // namespace quorvel
