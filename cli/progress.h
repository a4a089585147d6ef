#pragma once
// A progress line on standard error while a large image is written: bytes written and rate. Shown
// only when standard error is a terminal and the image is 64 MiB or more. No C++ progress-bar
// library is packaged by Debian; this one line is all the tool needs.

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "image/image_writer.h"

namespace quorvel {

class ProgressLine final : public WriteObserver {
 public:
  static constexpr std::uint64_t kThreshold = std::uint64_t{64} << 20;

  // Shown when enabled (standard error is a terminal) and the image is large enough.
  explicit ProgressLine(bool enabled, std::FILE* out = stderr) : m_enabled(enabled), m_out(out) {}
  ~ProgressLine() override;

  void ImageStarting(std::uint64_t totalBytes) override;
  void Written(const char* data, size_t size) override;

 private:
  void Draw(bool last);

  bool m_enabled;
  std::FILE* m_out;
  bool m_showing = false;
  std::uint64_t m_total = 0;
  std::uint64_t m_done = 0;
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_lastDraw;
};

// Whether standard error is a terminal.
bool StandardErrorIsTerminal();

}  // namespace quorvel
