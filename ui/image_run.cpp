#include "image_run.h"

#include <algorithm>
#include <utility>

namespace quorvel {
namespace {

// A run that lasts longer than this shows its progress.
constexpr ULONGLONG kProgressDelay = 500;
// How often the progress window is brought up to date, in milliseconds.
constexpr DWORD kTick = 50;

}  // namespace

ImageRun::ImageRun(qfw::CWnd& window, std::vector<RegionRow> rows, std::string outputPath, OutputOptions options)
    : m_window(window),
      m_windowHandle(window.m_hWnd),
      m_rows(std::move(rows)),
      m_outputPath(std::move(outputPath)),
      m_options(std::move(options)),
      m_progress(&window, [this] { Cancel(); }),
      m_worker([this] { GenerateImage(m_rows, m_outputPath, *this, m_options, {this}); }) {}

ImageRun::~ImageRun() {
  m_cancelled = true;
  m_worker.CancelIo();
  EndProgress();
}

std::optional<qfw::Failure> ImageRun::Run() {
  if (!m_worker.Start()) return qfw::Failure::OutOfMemory;
  const ULONGLONG progressAt = ::GetTickCount64() + kProgressDelay;
  while (!m_worker.Wait(kTick, m_progress.GetSafeHwnd())) {
    if (m_cancelled) {
      m_worker.CancelIo();  // again: the cancel may have come between two reads
    } else if (m_progress.GetSafeHwnd()) {
      UpdateProgress();
    } else if (!m_progressEnded && ::GetTickCount64() >= progressAt) {
      ShowProgress();
    }
  }
  EndProgress();
  return m_worker.GetFailure();
}

void ImageRun::ShowMessage(const Message& message) {
  ::SendMessageW(m_windowHandle, kRunMessage, 0, reinterpret_cast<LPARAM>(&message));
}

void ImageRun::Cancel() {
  m_cancelled = true;
  m_worker.CancelIo();
  EndProgress();
}

// Created hidden and filled in first; the window is disabled before the progress window shows, as
// the dialog manager does for a modal dialog.
void ImageRun::ShowProgress() {
  if (!m_progress.Create()) {
    m_progressEnded = true;  // the run goes on unseen, as a short one does
    return;
  }
  UpdateProgress();
  m_window.EnableWindow(FALSE);
  m_progress.ShowWindow(SW_SHOW);
}

void ImageRun::UpdateProgress() {
  const std::uint64_t total = m_total, done = std::min<std::uint64_t>(m_done, total);
  const int permille = total ? static_cast<int>(1000.0 * static_cast<double>(done) / static_cast<double>(total)) : 0;
  const size_t region = std::min<size_t>(m_regionsDone, m_rows.size() - 1);
  m_progress.Show(m_rows.empty() ? std::string() : m_rows[region].regionName, permille);
}

// The window is enabled first, so that it is the one made active when the progress window goes.
void ImageRun::EndProgress() {
  m_progressEnded = true;
  if (!m_progress.GetSafeHwnd()) return;
  m_window.EnableWindow(TRUE);
  m_progress.EndDialog(IDCANCEL);
}

}  // namespace quorvel
