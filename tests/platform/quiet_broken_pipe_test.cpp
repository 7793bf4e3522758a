// QuietBrokenPipe: a write to a closed connection inside it fails with EPIPE
// and leaves no SIGPIPE behind; this test program does not ignore SIGPIPE, so
// without it the program would end here.
#include "platform/quiet_broken_pipe.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tarvelin {

namespace {

bool SigpipePending() {
  sigset_t pending;
  sigemptyset(&pending);
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

TEST(QuietBrokenPipe, AWriteToAClosedPeerFailsWithoutEndingTheProcess) {
  for (int round = 0; round < 2; ++round) {  // the second time on an unchanged mask
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    ::close(pair[1]);
    ssize_t written;
    int error;
    {
      const QuietBrokenPipe quiet;
      written = ::write(pair[0], "x", 1);
      error = errno;
    }
    ::close(pair[0]);
    EXPECT_EQ(written, -1);
    EXPECT_EQ(error, EPIPE);
    EXPECT_FALSE(SigpipePending());
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    EXPECT_EQ(sigismember(&mask, SIGPIPE), 0);  // the old mask is back
  }
}

}  // namespace

}  // namespace tarvelin
