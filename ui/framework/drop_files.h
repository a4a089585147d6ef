#pragma once
// Files dropped onto a window (WM_DROPFILES), owned: the drop is finished with the object.

#include <windows.h>
#include <shellapi.h>

#include <string>

namespace qfw {

class CDropFiles {
 public:
  explicit CDropFiles(HDROP drop) : m_hDrop(drop) {}
  ~CDropFiles() { ::DragFinish(m_hDrop); }
  CDropFiles(const CDropFiles&) = delete;
  CDropFiles& operator=(const CDropFiles&) = delete;

  UINT GetFileCount() const;
  // The full path of one dropped file, of any length.
  std::string GetFile(UINT index) const;
  // Where the files were dropped, in the client coordinates of the window that took them; false
  // when that was outside its client area (the caption, the menu bar, the frame).
  bool GetPoint(POINT* point) const { return ::DragQueryPoint(m_hDrop, point) != FALSE; }

 private:
  HDROP m_hDrop;
};

}  // namespace qfw
