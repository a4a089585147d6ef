#include "worker_thread.h"

#include <process.h>

#include <new>

namespace qfw {
namespace {

bool IsInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) ||
         (message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK);
}

}  // namespace

CWorkerThread::~CWorkerThread() {
  if (!m_thread) return;
  while (::MsgWaitForMultipleObjects(1, &m_thread, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // answers what was sent
  }
  ::CloseHandle(m_thread);
}

BOOL CWorkerThread::Start() {
  if (m_thread) return FALSE;
  m_thread = reinterpret_cast<HANDLE>(::_beginthreadex(nullptr, 0, &CWorkerThread::Run, this, 0, nullptr));
  return m_thread != nullptr;
}

// The barrier between the work and the system.
unsigned __stdcall CWorkerThread::Run(void* self) {
  auto* thread = static_cast<CWorkerThread*>(self);
  try {
    thread->m_work();
  } catch (const std::bad_alloc&) {
    thread->m_failure = Failure::OutOfMemory;
  } catch (...) {
    thread->m_failure = Failure::Unexpected;
  }
  return 0;
}

BOOL CWorkerThread::Wait(DWORD milliseconds, HWND dialog) {
  const ULONGLONG end = ::GetTickCount64() + milliseconds;
  for (;;) {
    for (MSG msg; ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
      const bool forDialog = dialog && (msg.hwnd == dialog || ::IsChild(dialog, msg.hwnd));
      if (msg.message == WM_QUIT) {
        m_quitCode = static_cast<int>(msg.wParam);
      } else if (forDialog ? !::IsDialogMessageW(dialog, &msg) : !IsInput(msg.message)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
      }
    }
    if (::WaitForSingleObject(m_thread, 0) == WAIT_OBJECT_0) {
      if (m_quitCode) ::PostQuitMessage(*std::exchange(m_quitCode, std::nullopt));
      return TRUE;
    }
    const ULONGLONG now = ::GetTickCount64();
    if (now >= end) return FALSE;
    ::MsgWaitForMultipleObjectsEx(1, &m_thread, static_cast<DWORD>(end - now), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

void CWorkerThread::CancelIo() const {
  if (m_thread) ::CancelSynchronousIo(m_thread);
}

}  // namespace qfw
