#include "files/interrupt.h"

#include <unistd.h>

#include <climits>
#include <csignal>
#include <cstring>

namespace quorvel {
namespace {

// The named temporary file of the run: a fixed buffer, as a signal handler may not allocate.
char g_temporary[PATH_MAX] = {};

extern "C" void RemoveTemporaryAndStop(int signal) {
  if (g_temporary[0] != '\0') ::unlink(g_temporary);
  std::signal(signal, SIG_DFL);
  std::raise(signal);
}

}  // namespace

void RemoveTemporaryOnInterrupt() {
  struct sigaction action{};
  action.sa_handler = &RemoveTemporaryAndStop;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

void RemoveOnInterrupt(const std::string& path) {
  if (path.size() < sizeof g_temporary) std::memcpy(g_temporary, path.c_str(), path.size() + 1);
}

void ForgetOnInterrupt() { g_temporary[0] = '\0'; }

}  // namespace quorvel
