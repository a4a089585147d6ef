#pragma once
// The image written on a thread of its own, so that the main dialog goes on answering the system
// while a large image goes to a slow disk or comes from a slow pipe. A run that lasts more than about
// half a second shows its progress in a window over the dialog, whose "キャンセル" stops it at once.
// A short one looks as if the dialog wrote the image itself: the same messages, no other window.

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "framework/worker_thread.h"
#include "image/image_writer.h"
#include "progress_dlg.h"

namespace quorvel {

// The writer's message, sent to the window that the run belongs to, lParam pointing at the Message:
// the window shows it on its own thread and returns once the user has dismissed it, the writer
// waiting meanwhile, so that a failure is told while the files are still open.
inline constexpr UINT kRunMessage = WM_APP + 1;

class ImageRun final : private WriteObserver, private MessageSink {
 public:
  ImageRun(qfw::CWnd& window, std::vector<RegionRow> rows, std::string outputPath, OutputOptions options);
  // A run left early (by an exception) is cancelled and waited for.
  ~ImageRun() override;

  // Writes the image and returns once the writer has ended, its outcome told: nothing more to tell,
  // or why there was no run (no thread could be started: no memory) or what stopped it.
  // While the progress window shows, the window takes no input, as under a modal dialog.
  std::optional<qfw::Failure> Run();
  // On the window's thread, before one of the run's messages shows: the progress window goes, for
  // good, and the window takes input again.
  void EndProgress();

 private:
  // On the writer's thread: only the counts below, and messages sent.
  void ImageStarting(std::uint64_t totalBytes) override { m_total = totalBytes; }
  void Written(const char*, size_t size) override { m_done += size; }
  void RegionDone(const PlacedRegion&) override { ++m_regionsDone; }
  bool Cancelled() const override { return m_cancelled; }
  void ShowMessage(const Message& message) override;

  // キャンセル: the writer stops at its next piece, or at once where it waits for a read or write.
  void Cancel();
  void ShowProgress();
  void UpdateProgress();

  qfw::CWnd& m_window;
  const HWND m_windowHandle;  // the window's, as the writer's thread sees it
  const std::vector<RegionRow> m_rows;
  const std::string m_outputPath;
  const OutputOptions m_options;
  std::atomic<std::uint64_t> m_total = 0, m_done = 0;
  std::atomic<size_t> m_regionsDone = 0;
  std::atomic<bool> m_cancelled = false;
  bool m_progressEnded = false;  // a message was shown, or the run cancelled: no progress window again
  CProgressDlg m_progress;
  qfw::CWorkerThread m_worker;  // last: the writer ends before anything it uses goes
};

}  // namespace quorvel
