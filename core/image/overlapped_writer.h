#pragma once
// Writes pieces of text to a file on a thread of its own, so that making the next piece and writing
// the last one overlap: the records of a large image are made and written in about the time of the
// slower of the two. At most two pieces are held, the one being written and the next.

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "files/file.h"

namespace quorvel {

class OverlappedWriter {
 public:
  explicit OverlappedWriter(File& file);
  // Waits for the pieces handed over; whatever they were, the thread has ended afterwards.
  ~OverlappedWriter();
  OverlappedWriter(const OverlappedWriter&) = delete;
  OverlappedWriter& operator=(const OverlappedWriter&) = delete;

  // Takes a copy of the piece, waiting while the one before it is still waiting to be written;
  // false once a write has failed.
  bool Write(const char* data, size_t size);
  // Waits until every piece is written: false when one could not be; the system's reason then.
  bool Finish();
  const std::string& FailureReason() const { return m_reason; }

 private:
  void Run();

  File& m_file;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<char> m_next;  // the piece waiting to be written
  bool m_waiting = false;    // m_next holds one
  bool m_ending = false;
  bool m_failed = false;
  std::string m_reason;
  std::thread m_thread;  // last: it starts when everything else is ready
};

}  // namespace quorvel
