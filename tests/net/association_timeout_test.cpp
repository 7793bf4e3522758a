// The time a new connection has to complete its A-ASSOCIATE-RQ (the ARTIM
// timer): a whole request in time is negotiated; an idle, trickling or
// half-sent one is closed, with nothing sent, once the time is up, however
// the bytes arrive.
#include <gtest/gtest.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "association_fixture.h"

namespace tarvelin {

using namespace nettest;
using namespace std::chrono;

namespace {

struct Case {
  const char* name;
  std::size_t pieceSize;  // the request goes out in pieces of this many bytes (0: nothing at all)
  int pauseMs;            // between pieces
  bool negotiated;
};

}  // namespace

TEST(AssociationTimeout, RequestMustBeCompleteWithinTheTime) {
  const Case cases[] = {
      {"idle connection", 0, 0, false},
      {"one byte every 150 ms", 1, 150, false},
      {"half the request, then silence", 40, 3000, false},
      {"three pieces within the time", 60, 100, true},
  };
  for (const Case& c : cases) {
    LogCapture log;
    SocketPair pair;
    PDU_Service acceptor;
    acceptor.AssociationTimeout = 1;  // each wait alone stays under the 300 s read time-out
    Bytes items;
    items.append(RequestContext(1, VerificationUID, {ImplicitUID})).append(UserInfoItem(MaxLengthSubItem(16384)));
    const std::vector<std::uint8_t> request = AssociateRQ(items).data;
    std::atomic<bool> done{false};
    std::thread requestor([&] {
      for (std::size_t at = 0; c.pieceSize > 0 && at < request.size() && !done; at += c.pieceSize) {
        const std::size_t count = std::min(c.pieceSize, request.size() - at);
        if (send(pair.theirs, request.data() + at, count, MSG_NOSIGNAL) != static_cast<ssize_t>(count)) return;
        for (int waited = 0; waited < c.pauseMs && !done; waited += 10) std::this_thread::sleep_for(milliseconds(10));
      }
    });
    const auto start = steady_clock::now();
    const bool negotiated = acceptor.Multiplex(pair.ours);
    done = true;
    const auto tookMs = duration_cast<milliseconds>(steady_clock::now() - start).count();
    EXPECT_EQ(negotiated, c.negotiated) << c.name;
    if (!c.negotiated) {
      EXPECT_LT(tookMs, 1800) << c.name;
      EXPECT_TRUE(log.Contains(
          "ERROR, PDU_Service::Multiplex, no complete A-ASSOCIATE-RQ within 1 seconds, connection closed"))
          << c.name << "\n" << log.Text();
      EXPECT_TRUE(ReadPDU(pair.theirs, 100).empty()) << c.name << ": nothing is sent, not even an A-ABORT";
    } else {
      const std::vector<std::uint8_t> answer = ReadPDU(pair.theirs);
      EXPECT_TRUE(!answer.empty() && answer[0] == 0x02) << c.name << ": an A-ASSOCIATE-AC";
    }
    requestor.join();
  }
}

}  // namespace tarvelin
