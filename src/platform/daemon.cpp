#include "platform/daemon.h"

#include <csignal>
#include <pthread.h>

namespace tarvelin {

void RunUntilStopSignal(const std::function<void()>& start, const std::function<void()>& stop) {
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  // A peer that closes its end mid-write must not kill the process.
  std::signal(SIGPIPE, SIG_IGN);

  start();
  int received = 0;
  while (sigwait(&stopSignals, &received) != 0) {
  }
  stop();
}

}  // namespace tarvelin
