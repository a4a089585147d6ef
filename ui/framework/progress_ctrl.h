#pragma once
// The progress bar control (PROGRESS_CLASS), with the calls the program makes on it.

#include <windows.h>
#include <commctrl.h>

#include "wnd.h"

namespace qfw {

class CProgressCtrl : public CWnd {
 public:
  void SetRange32(int lower, int upper);
  // Returns the position before.
  int SetPos(int position);
  int GetPos() const;
};

}  // namespace qfw
