#include "image/overlapped_writer.h"

#include <new>

namespace quorvel {

OverlappedWriter::OverlappedWriter(File& file) : m_file(file), m_thread([this] { Run(); }) {}

OverlappedWriter::~OverlappedWriter() { Finish(); }

bool OverlappedWriter::Write(const char* data, size_t size) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_changed.wait(lock, [&] { return !m_waiting || m_failed; });
  if (m_failed) return false;
  m_next.assign(data, data + size);
  m_waiting = true;
  m_changed.notify_all();
  return true;
}

bool OverlappedWriter::Finish() {
  {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ending = true;
    m_changed.notify_all();
  }
  if (m_thread.joinable()) m_thread.join();
  return !m_failed;
}

void OverlappedWriter::Run() {
  std::vector<char> piece;
  std::unique_lock<std::mutex> lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [&] { return m_waiting || m_ending; });
    if (!m_waiting) return;
    piece.swap(m_next);
    m_waiting = false;
    m_changed.notify_all();
    lock.unlock();
    const bool written = m_file.WriteAll(piece.data(), piece.size());
    lock.lock();
    if (!written) {
      m_failed = true;
      try {
        m_reason = LastSystemError();  // this thread's: the error is kept per thread
      } catch (const std::bad_alloc&) {
        // Without the words, the failure is still told; nothing may leave this thread.
      }
      m_changed.notify_all();
      return;
    }
  }
}

}  // namespace quorvel
