#pragma once
// Writes to a connection the peer has closed raise SIGPIPE, which ends a
// process that does not ignore it (the one-shot housekeeping run, a test
// program). Libraries that write with write() (OpenSSL) cannot be told to
// send with MSG_NOSIGNAL, so while one of these lives the signal is blocked
// on the calling thread, and a SIGPIPE raised meanwhile is taken back before
// the old mask returns. The failed write still reports EPIPE.
#include <signal.h>

namespace tarvelin {

class QuietBrokenPipe {
 public:
  QuietBrokenPipe();
  ~QuietBrokenPipe();
  QuietBrokenPipe(const QuietBrokenPipe&) = delete;
  QuietBrokenPipe& operator=(const QuietBrokenPipe&) = delete;

 private:
  sigset_t previousMask_;
  bool alreadyPending_ = false;  // a SIGPIPE that was waiting before stays waiting
};

}  // namespace tarvelin
