#include "platform/tcp_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace tarvelin {

namespace {

// A blocking client socket on the loopback address.
class Client {
 public:
  explicit Client(int port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    connected_ = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~Client() { close(fd_); }
  bool Connected() const { return connected_; }
  void Send(const std::string& text) { ASSERT_EQ(send(fd_, text.data(), text.size(), MSG_NOSIGNAL), (ssize_t)text.size()); }
  // Reads until `count` bytes arrived, the stream ended or 5 s passed.
  std::string Read(size_t count) {
    std::string got;
    char buffer[4096];
    while (got.size() < count) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) break;
      ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      got.append(buffer, n);
    }
    return got;
  }
  // True when the server ended the stream within 5 s.
  bool SeesEnd() {
    pollfd p{fd_, POLLIN, 0};
    char byte;
    return poll(&p, 1, 5000) == 1 && recv(fd_, &byte, 1, 0) == 0;
  }

 private:
  int fd_;
  bool connected_ = false;
};

// Echoes every read back, prefixed with "nodelay:" + the TCP_NODELAY option first.
void Echo(TcpConnection& connection) {
  int on = 0;
  socklen_t len = sizeof on;
  getsockopt(connection.Fd(), IPPROTO_TCP, TCP_NODELAY, &on, &len);
  connection.Send(on ? "nodelay:1|" : "nodelay:0|");
  std::string bytes;
  while (connection.Receive(bytes)) {
    connection.Send(bytes);
    bytes.clear();
  }
}

TEST(TcpServer, EachConnectionIsServedOnItsOwnThreadWithNoDelay) {
  TcpServer server;
  server.SetOnExecute(Echo);
  server.Activate();
  ASSERT_GT(server.Port(), 0);
  Client first(server.Port()), second(server.Port());
  ASSERT_TRUE(first.Connected() && second.Connected());
  EXPECT_EQ(first.Read(10), "nodelay:1|");
  EXPECT_EQ(second.Read(10), "nodelay:1|");
  // The first handler waits in Receive; the second is answered meanwhile.
  second.Send("two");
  EXPECT_EQ(second.Read(3), "two");
  first.Send("one");
  EXPECT_EQ(first.Read(3), "one");
}

TEST(TcpServer, DeactivateClosesOpenConnectionsAndWaitsForTheirThreads) {
  std::atomic<int> ended{0};
  TcpServer server;
  server.SetOnExecute([&](TcpConnection& c) {
    Echo(c);
    ++ended;
  });
  server.Activate();
  const int port = server.Port();
  Client a(port), b(port);
  ASSERT_EQ(a.Read(10), "nodelay:1|");
  ASSERT_EQ(b.Read(10), "nodelay:1|");
  server.Deactivate();
  EXPECT_EQ(ended.load(), 2);
  EXPECT_TRUE(a.SeesEnd());
  EXPECT_TRUE(b.SeesEnd());
  EXPECT_FALSE(Client(port).Connected());
  server.Deactivate();  // a second call is harmless
}

TEST(TcpServer, HandlerExceptionEndsOnlyItsConnection) {
  std::string reported;
  TcpServer server;
  server.SetOnExecute([](TcpConnection& c) {
    std::string bytes;
    if (c.Receive(bytes) && bytes == "boom") throw std::runtime_error("handler failed");
    c.Send("fine");
  });
  server.SetOnError([&](const std::string& text) { reported = text; });
  server.Activate();
  Client bad(server.Port());
  bad.Send("boom");
  EXPECT_TRUE(bad.SeesEnd());
  Client good(server.Port());
  good.Send("x");
  EXPECT_EQ(good.Read(4), "fine");
  server.Deactivate();
  EXPECT_EQ(reported, "TcpServer::Execute, handler failed");
}

TEST(TcpServer, BusyPortIsRefusedWithTheReason) {
  TcpServer first;
  first.Activate();
  TcpServer second;
  second.SetDefaultPort(first.Port());
  try {
    second.Activate();
    FAIL() << "bound a port that is in use";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()),
              "Could not bind socket to port " + std::to_string(first.Port()) + ": Address already in use");
  }
  EXPECT_FALSE(second.Active());
}

TEST(TcpServer, FinishDeliversTheLastAnswerDespiteUnreadInput) {
  TcpServer server;
  server.SetOnExecute([](TcpConnection& c) {
    std::string bytes;
    c.Receive(bytes);
    c.Send("last words");
    c.Finish(2000);
  });
  server.Activate();
  Client client(server.Port());
  client.Send(std::string(200000, 'q'));  // far more than the handler reads
  EXPECT_EQ(client.Read(10), "last words");
  EXPECT_TRUE(client.SeesEnd());
}

TEST(TcpServer, OneConnectionOverTheLimitGetsTheRefusalAndNoThread) {
  std::atomic<int> served{0}, ended{0};
  std::vector<std::string> refusedPeers;
  TcpServer server;
  server.SetOnExecute([&](TcpConnection& c) {
    ++served;
    Echo(c);
    ++ended;
  });
  server.SetConnectionLimit(1, "REFUSED", [&](const std::string& peer) { refusedPeers.push_back(peer); });
  server.Activate();
  {
    Client held(server.Port());
    ASSERT_EQ(held.Read(10), "nodelay:1|");
    Client extra(server.Port());
    extra.Send("request");
    // The refusal answers the request, then the stream ends in order (a
    // reset would make Read see nothing).
    EXPECT_EQ(extra.Read(7), "REFUSED");
    EXPECT_TRUE(extra.SeesEnd());
    Client silent(server.Port());  // sends nothing: closed unanswered after the wait
    EXPECT_TRUE(silent.SeesEnd());
    EXPECT_EQ(served.load(), 1);
  }
  // Once the held connection's thread has ended, the next one is served again
  // (a try in the moment before its thread is counted out is refused).
  for (int waited = 0; ended.load() == 0 && waited < 5000; waited += 10)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  std::string greeting;
  for (int attempt = 0; attempt < 20 && greeting != "nodelay:1|?"; ++attempt) {
    Client next(server.Port());
    next.Send("?");
    greeting = next.Read(11);
  }
  EXPECT_EQ(greeting, "nodelay:1|?");
  server.Deactivate();
  EXPECT_EQ(served.load(), 2);
  ASSERT_GE(refusedPeers.size(), 2u);
  for (const std::string& peer : refusedPeers) EXPECT_EQ(peer, "127.0.0.1");
}

TEST(TcpServer, AcceptRunningOutOfDescriptorsIsReportedAndRetried) {
  std::vector<std::string> reports;
  std::mutex reportsLock;
  TcpServer server;
  server.SetOnExecute(Echo);
  server.SetOnError([&](const std::string& text) {
    std::lock_guard<std::mutex> hold(reportsLock);
    reports.push_back(text);
  });
  server.Activate();
  int client = socket(AF_INET, SOCK_STREAM, 0);
  rlimit saved{};
  getrlimit(RLIMIT_NOFILE, &saved);
  rlimit low = saved;
  low.rlim_cur = 256;
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> hogs;
  for (int fd; (fd = dup(0)) >= 0;) hogs.push_back(fd);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(server.Port()));
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);  // queued by the kernel
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // several failed attempts
  for (int fd : hogs) close(fd);
  setrlimit(RLIMIT_NOFILE, &saved);
  pollfd p{client, POLLIN, 0};
  char greeting[10] = {};
  ASSERT_EQ(poll(&p, 1, 5000), 1);
  EXPECT_EQ(recv(client, greeting, sizeof greeting, MSG_WAITALL), 10);
  close(client);
  server.Deactivate();
  // One line for the whole stretch of failures, not one per retry.
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], "TcpServer::Accept: Too many open files, retrying");
}

}  // namespace

}  // namespace tarvelin
