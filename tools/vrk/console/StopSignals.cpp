#include "console/StopSignals.h"

#include <signal.h>
#include <unistd.h>

namespace vrk {
namespace {

volatile sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int signal) {
  if (g_stopSignal != 0) {
    // Asked twice: the user wants out now.
    ::signal(signal, SIG_DFL);
    raise(signal);
    return;
  }
  g_stopSignal = signal;
}

constexpr size_t kFaultPaths = 8;
char g_faultPaths[kFaultPaths][4096];
volatile sig_atomic_t g_faultPathCount = 0;

void OnFault(int) {
  static const char kMessage[] = "vrk: an input file shrank while it was read; stopped\n";
  if (write(STDERR_FILENO, kMessage, sizeof kMessage - 1) < 0) {
  }
  for (sig_atomic_t i = 0; i < g_faultPathCount; ++i) unlink(g_faultPaths[i]);
  _exit(kExitFatal);
}

}  // namespace

void RemoveOnFault(const std::vector<std::string>& paths) {
  g_faultPathCount = 0;
  size_t n = 0;
  for (const std::string& path : paths) {
    if (n == kFaultPaths || path.size() >= sizeof g_faultPaths[0]) continue;
    path.copy(g_faultPaths[n], path.size());
    g_faultPaths[n++][path.size()] = '\0';
  }
  g_faultPathCount = static_cast<sig_atomic_t>(n);
}

void IgnoreWriteSignals() {
  signal(SIGXFSZ, SIG_IGN);
  signal(SIGPIPE, SIG_IGN);
}

void CatchStopSignals() {
  signal(SIGBUS, OnFault);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // system calls go on; the flag is polled
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

int StopRequested() { return g_stopSignal; }

void StopIfRequested() {
  if (int signal = g_stopSignal) throw StopRequest(signal);
}

}  // namespace vrk
