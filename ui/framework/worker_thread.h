#pragma once
// A thread for work that would keep the windows from answering (a large file onto a slow disk), and
// the waiting for it on the windows' thread, which goes on answering meanwhile.
//
// The work never touches a window: it hands what the user must see to the windows' thread by
// SendMessage, which that thread answers while it waits. No exception leaves the thread: one that
// ends the work is kept, for its owner to tell.

#include <windows.h>

#include <functional>
#include <optional>
#include <utility>

#include "app.h"

namespace qfw {

class CWorkerThread {
 public:
  explicit CWorkerThread(std::function<void()> work) : m_work(std::move(work)) {}
  // Waits for the thread's end, answering the messages it sends meanwhile: whatever the work uses
  // must outlive the object.
  ~CWorkerThread();
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;

  // Starts the work once; false when the system cannot start a thread.
  BOOL Start();
  // Waits up to milliseconds for the work's end, the calling thread's windows answering: messages
  // sent to them are answered and those posted dispatched, the modeless dialog's through its
  // IsDialogMessage. Keys and the mouse meant for any window but that dialog are dropped, as a modal
  // dialog's owner would not get them. True once the work has ended.
  BOOL Wait(DWORD milliseconds, HWND dialog);
  // Interrupts the read or write that the work is waiting in, if any (a pipe that delivers slowly):
  // the call fails there, with ERROR_OPERATION_ABORTED. Asked after the work has been told to stop.
  void CancelIo() const;
  // Once the work has ended: the exception that ended it, if one did.
  std::optional<Failure> GetFailure() const { return m_failure; }

 private:
  static unsigned __stdcall Run(void* self);

  std::function<void()> m_work;
  HANDLE m_thread = nullptr;
  std::optional<Failure> m_failure;
  std::optional<int> m_quitCode;  // a WM_QUIT that came while waiting, posted again at the end
};

}  // namespace qfw
