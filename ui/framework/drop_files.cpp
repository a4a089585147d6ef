#include "drop_files.h"

#include "base/text.h"

namespace qfw {

UINT CDropFiles::GetFileCount() const { return ::DragQueryFileW(m_hDrop, 0xFFFFFFFF, nullptr, 0); }

std::string CDropFiles::GetFile(UINT index) const {
  std::wstring path(::DragQueryFileW(m_hDrop, index, nullptr, 0), L'\0');
  if (path.empty()) return {};
  path.resize(::DragQueryFileW(m_hDrop, index, path.data(), static_cast<UINT>(path.size() + 1)));
  return qbase::WideToUtf8(path);
}

}  // namespace qfw
