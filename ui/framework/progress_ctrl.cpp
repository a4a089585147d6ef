#include "progress_ctrl.h"

#include <cassert>

namespace qfw {

void CProgressCtrl::SetRange32(int lower, int upper) {
  assert(::IsWindow(m_hWnd));
  SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper);
}

int CProgressCtrl::SetPos(int position) {
  assert(::IsWindow(m_hWnd));
  return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position)));
}

int CProgressCtrl::GetPos() const {
  assert(::IsWindow(m_hWnd));
  return static_cast<int>(SendMessage(PBM_GETPOS));
}

}  // namespace qfw
