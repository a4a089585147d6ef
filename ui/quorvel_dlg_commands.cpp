// The main dialog's three commands: open a layout, assign an image file to a region, write the image.
#include "framework/wnd.h"
#include "image_writer.h"
#include "layout_loader.h"
#include "quorvel_dlg.h"

namespace quorvel {

void CQuorvelDlg::OnOpenLayout() {
  const std::optional<std::string> path = m_prompts.ChooseFile(m_hWnd, kLayoutChooser);
  if (!path) return;
  LoadLayout(m_regions, *path);  // silent: an unreadable file leaves the list empty
}

// Acts on the selected row, which the double-click has normally just selected.
void CQuorvelDlg::OnRegionListDblClk(NMHDR* /*header*/, LRESULT* result) {
  const int row = m_regionList.GetNextItem(-1, LVNI_SELECTED);
  if (row < 0) return;
  const std::optional<std::string> path = m_prompts.ChooseFile(m_hWnd, kImageChooser);
  if (!path) return;
  m_regions.SetCell(row, COL_IMAGE, *path);
  *result = 0;
}

void CQuorvelDlg::OnExecute() {
  if (m_regions.Count() <= 0) {
    ShowMessage(kMsgNoRegions, MessageKind::Error);
    return;
  }
  const std::optional<std::string> path = m_prompts.ChooseFile(m_hWnd, kOutputChooser);
  if (!path) return;
  const qfw::CWaitCursor wait;
  GenerateImage(m_regions, *path, *this);
}

}  // namespace quorvel
