#include "region_list.h"

#include <commctrl.h>

#include <utility>

namespace quorvel {
namespace {

// The columns, in order: the address, the size, the region's name and its image file.
enum Column : int { kAddressColumn, kSizeColumn, kRegionColumn, kImageColumn };
struct ColumnLook {
  const char* header;
  int width;
};
constexpr ColumnLook kColumns[] = {{"アドレス", 75}, {"サイズ", 75}, {"リージョン名", 100}, {"イメージファイル", 300}};

}  // namespace

void RegionList::InsertColumns() {
  for (int i = 0; i < static_cast<int>(std::size(kColumns)); ++i) {
    m_list.InsertColumn(i, kColumns[i].header, LVCFMT_LEFT, kColumns[i].width, i);
  }
}

void RegionList::Show(std::vector<RegionRow> rows) {
  m_rows = std::move(rows);
  m_list.DeleteAllItems();
  for (size_t i = 0; i < m_rows.size(); ++i) {
    const int item = m_list.InsertItem(static_cast<int>(i), m_rows[i].offsetText);
    m_list.SetItemText(item, kSizeColumn, m_rows[i].sizeText);
    m_list.SetItemText(item, kRegionColumn, m_rows[i].regionName);
    m_list.SetItemText(item, kImageColumn, m_rows[i].imagePath);
  }
}

void RegionList::SetImage(size_t index, const std::string& path) {
  if (index >= m_rows.size()) return;
  m_rows[index].imagePath = path;
  m_list.SetItemText(static_cast<int>(index), kImageColumn, path);
}

}  // namespace quorvel
