#include "progress.h"

#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace quorvel {
namespace {

constexpr int kBarWidth = 30;

std::string Mebibytes(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MiB"; }

}  // namespace

bool StandardErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

ProgressLine::~ProgressLine() {
  if (m_showing && m_done < m_total) std::fputc('\n', m_out);  // leave a cut-off line behind
}

void ProgressLine::ImageStarting(std::uint64_t totalBytes) {
  m_total = totalBytes;
  m_showing = m_enabled && totalBytes >= kThreshold;
  m_start = m_lastDraw = std::chrono::steady_clock::now();
}

void ProgressLine::Written(const char*, size_t size) {
  if (!m_showing) return;
  m_done += size;
  const auto now = std::chrono::steady_clock::now();
  if (m_done == m_total || now - m_lastDraw >= std::chrono::milliseconds(100)) {
    m_lastDraw = now;
    Draw(m_done == m_total);
  }
}

void ProgressLine::Draw(bool last) {
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
  const int filled = static_cast<int>(kBarWidth * m_done / (m_total ? m_total : 1));
  const double rate = seconds > 0 ? double(m_done) / seconds / (1 << 20) : 0;
  std::fprintf(m_out, "\r[%s%s] %3d%%  %s / %s  %.0f MiB/s", std::string(size_t(filled), '#').c_str(),
               std::string(size_t(kBarWidth - filled), '.').c_str(), static_cast<int>(100 * m_done / (m_total ? m_total : 1)),
               Mebibytes(m_done).c_str(), Mebibytes(m_total).c_str(), rate);
  if (last) std::fputc('\n', m_out);
  std::fflush(m_out);
}

}  // namespace quorvel
