// What one web client may hold: slow senders (slowloris, slow POST) and idle
// connections are cut off at their deadlines while others are served, one
// address gets only its share of connections, and password checks are
// shared fairly between clients.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "support/free_port.h"
#include "support/log_file.h"
#include "web/password_check_slots.h"
#include "web_instance.h"

namespace tarvelin {

using ::testing::HasSubstr;
using SteadyClock = std::chrono::steady_clock;

namespace {
// True when the server has closed `fd` within `ms` (reading what it sent).
bool ClosedWithin(int fd, int ms) {
  const auto until = SteadyClock::now() + std::chrono::milliseconds(ms);
  char buffer[4096];
  while (SteadyClock::now() < until) {
    pollfd ready{fd, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - SteadyClock::now()).count();
    if (poll(&ready, 1, static_cast<int>(std::max<long long>(left, 1))) != 1) continue;
    if (recv(fd, buffer, sizeof buffer, 0) <= 0) return true;
  }
  return false;
}

class ClientLimitsTest : public ::testing::Test {
 protected:
  void Start(const std::vector<std::pair<std::string, std::string>>& settings) {
    ASSERT_EQ(web_.Prepare(settings), "");
    ASSERT_TRUE(web_.Start()) << web_.Server().Log() << web_.Server().Console();
  }
  WebInstance web_{"weblimits"};
};
}  // namespace

// A client that trickles its request keeps its connection only until the
// deadline of the part it is sending; meanwhile everyone else is served.
TEST_F(ClientLimitsTest, SlowSendersAreCutOffAtTheirDeadline) {
  Start({{"WebHeaderTimeout", "2"}, {"WebBodyTimeout", "3"}});
  const int port = web_.Server().WebPort();
  const std::string auth = kAdminAuthorization;
  const struct {
    const char* what;
    std::string first;  // sent at once
    char trickle;       // then one of these every 300 ms (0: nothing)
    int deadline;       // seconds
    const char* logged;
  } cases[] = {
      {"slowloris", "GET / HTTP/1.1\r\nHost: x\r\nX-a: ", 'a', 2, "request headers not complete within 2 s"},
      {"silent", "", 0, 2, "request headers not complete within 2 s"},
      {"slow POST", "POST /display_wlquery HTTP/1.1\r\nHost: x\r\n" + auth + "Content-Length: 100000\r\n\r\n", 'x', 3,
       "request body not complete within 3 s"},
  };
  for (const auto& c : cases) {
    const int fd = ConnectLoopback(port);
    ASSERT_GE(fd, 0);
    const auto start = SteadyClock::now();
    send(fd, c.first.data(), c.first.size(), MSG_NOSIGNAL);
    bool closed = false;
    while (!closed && SteadyClock::now() - start < std::chrono::seconds(c.deadline + 3)) {
      if (c.trickle) send(fd, &c.trickle, 1, MSG_NOSIGNAL);
      closed = ClosedWithin(fd, 300);
    }
    const double seconds = std::chrono::duration<double>(SteadyClock::now() - start).count();
    close(fd);
    EXPECT_TRUE(closed) << c.what;
    EXPECT_GE(seconds, c.deadline - 0.2) << c.what;
    EXPECT_LE(seconds, c.deadline + 2.0) << c.what;
    EXPECT_THAT(web_.Server().Log(), HasSubstr("WARNING, WEB server, connection closed: " + std::string(c.logged) +
                                               ", from 127.0.0.1"));
  }
  // A request answered in time keeps working, also on a kept-alive connection.
  EXPECT_EQ(web_.Admin("/").status, 200);
}

// A client that asks for a large answer and never reads it frees its
// connection once nothing has moved for WebAnswerTimeout; a client that reads
// slowly keeps receiving however long it takes, and others are served.
TEST_F(ClientLimitsTest, AnAnswerLeftUnreadEndsItsConnectionAtTheAnswerTimeout) {
  Start({{"WebAnswerTimeout", "2"}});
  std::ofstream(web_.Server().Home() + "big.bin") << std::string(32 << 20, 'x');
  const std::string request = "GET /big.bin HTTP/1.1\r\nHost: x\r\n" + std::string(kAdminAuthorization) + "\r\n";
  const int port = web_.Server().WebPort();
  int fds[2];  // the one that never reads, the slow reader
  for (int& fd : fds) {
    fd = socket(AF_INET, SOCK_STREAM, 0);
    const int small = 16 * 1024;  // fills at once, so the server waits on us
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
  }
  const std::string logged = "WARNING, WEB server, connection closed: answer not read for 2 s, from 127.0.0.1";
  const auto start = SteadyClock::now();
  EXPECT_EQ(web_.Admin("/").status, 200);  // served while both hold their answers
  double closedAfter = 0;
  std::size_t slowRead = 0;
  char buffer[8192];
  while (SteadyClock::now() - start < std::chrono::seconds(6)) {
    const ssize_t n = recv(fds[1], buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) slowRead += static_cast<std::size_t>(n);
    if (closedAfter == 0 && web_.Server().Log().find(logged) != std::string::npos)
      closedAfter = std::chrono::duration<double>(SteadyClock::now() - start).count();
    usleep(200 * 1000);
  }
  EXPECT_GE(closedAfter, 2.0 - 0.2);
  EXPECT_LE(closedAfter, 2.0 + 2.0);
  // Only the one that never read was closed; the slow reader got data past the timeout.
  EXPECT_EQ(CountOf(web_.Server().Log(), "answer not read"), 1) << web_.Server().Log();
  EXPECT_GT(slowRead, 8192u * 20);
  EXPECT_FALSE(ClosedWithin(fds[1], 100));
  for (int fd : fds) close(fd);
}

// One address holds at most its share of connections; the next is closed
// unanswered, and another address (::1 is not 127.0.0.1 to the server) and
// the address itself once it lets go are served.
TEST_F(ClientLimitsTest, OneAddressHoldsOnlyItsShareOfConnections) {
  Start({{"WebConnectionsPerAddress", "4"}, {"WebHeaderTimeout", "60"}});
  const int port = web_.Server().WebPort();
  std::vector<int> held;
  for (int i = 0; i < 4; ++i) held.push_back(ConnectLoopback(port));
  for (int fd : held) ASSERT_GE(fd, 0);
  for (int fd : held) EXPECT_FALSE(ClosedWithin(fd, 100));
  const int extra = ConnectLoopback(port);
  ASSERT_GE(extra, 0);  // the kernel accepts it; the server then closes it
  EXPECT_TRUE(ClosedWithin(extra, 2000));
  close(extra);
  for (int fd : held) close(fd);
  usleep(300 * 1000);
  EXPECT_EQ(web_.Admin("/").status, 200);
}

// The order in which waiting password checks get a slot: fair between
// clients, in arrival order within one.
TEST(PasswordCheckSlotsTest, WaitingChecksAreServedFairlyBetweenClients) {
  const struct {
    std::vector<std::string> arrivals;  // clients, in the order their checks arrive while the slot is busy
    std::vector<std::string> served;
  } cases[] = {
      {{"guesser", "guesser", "guesser", "nurse"}, {"guesser", "nurse", "guesser", "guesser"}},
      {{"a", "a", "b", "b", "c"}, {"a", "b", "c", "a", "b"}},
      {{"a", "b", "a"}, {"a", "b", "a"}},
  };
  for (const auto& c : cases) {
    PasswordCheckSlots slots(1);
    std::mutex lock;
    std::vector<std::string> served;
    std::vector<std::thread> checks;
    {
      const PasswordCheckSlots::Held busy(slots, "first");
      for (std::size_t i = 0; i < c.arrivals.size(); ++i) {
        checks.emplace_back([&, client = c.arrivals[i]] {
          const PasswordCheckSlots::Held slot(slots, client);
          std::lock_guard<std::mutex> hold(lock);
          served.push_back(client);
        });
        while (slots.Waiting() < static_cast<int>(i) + 1) std::this_thread::yield();
      }
    }
    for (auto& check : checks) check.join();
    EXPECT_EQ(served, c.served);
  }
}

}  // namespace tarvelin
