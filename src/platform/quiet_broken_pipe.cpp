#include "platform/quiet_broken_pipe.h"

#include <pthread.h>

#include <ctime>

namespace tarvelin {

namespace {
sigset_t BrokenPipe() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGPIPE);
  return set;
}

bool Pending() {
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1;
}
}  // namespace

QuietBrokenPipe::QuietBrokenPipe() {
  alreadyPending_ = Pending();
  const sigset_t pipe = BrokenPipe();
  pthread_sigmask(SIG_BLOCK, &pipe, &previousMask_);
}

QuietBrokenPipe::~QuietBrokenPipe() {
  if (!alreadyPending_ && Pending()) {
    const sigset_t pipe = BrokenPipe();
    const timespec now{0, 0};
    sigtimedwait(&pipe, nullptr, &now);
  }
  pthread_sigmask(SIG_SETMASK, &previousMask_, nullptr);
}

}  // namespace tarvelin
