// Socket: listening, accepting with the connection options, connecting,
// read time-outs and closed peers.
#include "net/socket.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net_test_support.h"

namespace tarvelin {

using nettest::FreePort;
using nettest::LogCapture;

namespace {

int IntOption(int fd, int level, int name) {
  int value = -1;
  socklen_t size = sizeof value;
  getsockopt(fd, level, name, &value, &size);
  return value;
}

// A listening Socket on a free port and a connection accepted from it.
struct AcceptedPair {
  Socket listener, client;
  std::string port = std::to_string(FreePort());
  bool ok = false;
  AcceptedPair() {
    if (!listener.Listen(port)) return;
    std::thread connector([&] { client.Connect("127.0.0.1", port); });
    ok = listener.Accept();
    connector.join();
    ok = ok && client.Connected;
  }
};

}  // namespace

TEST(Socket, ListensAcceptsAndConnectsWithTheDesignOptions) {
  LogCapture log;
  AcceptedPair pair;
  ASSERT_TRUE(pair.ok) << log.Text();
  EXPECT_TRUE(pair.listener.Listened);
  EXPECT_TRUE(pair.listener.Connected);
  // Every accepted and every outgoing connection sends small PDUs at once.
  EXPECT_EQ(IntOption(pair.listener.Socketfd, IPPROTO_TCP, TCP_NODELAY), 1);
  EXPECT_EQ(IntOption(pair.client.Socketfd, IPPROTO_TCP, TCP_NODELAY), 1);
  // Listening socket: rebinds over TIME_WAIT; linger on with 0 seconds.
  EXPECT_EQ(IntOption(pair.listener.ListenSocketfd, SOL_SOCKET, SO_REUSEADDR), 1);
  linger value{};
  socklen_t size = sizeof value;
  getsockopt(pair.client.Socketfd, SOL_SOCKET, SO_LINGER, &value, &size);
  EXPECT_EQ(value.l_onoff, 1);
  EXPECT_EQ(value.l_linger, 0);

  const char hello[] = "hello";
  ASSERT_TRUE(pair.client.SendBinary(hello, 5));
  char got[16] = {};
  EXPECT_EQ(pair.listener.ReadBinary(got, sizeof got), 5);
  EXPECT_STREQ(got, "hello");
  EXPECT_EQ(log.Text(), "");
}

// In a request/response exchange Linux switches to delayed ACKs; a peer
// with Nagle's algorithm on then waits for each one. Both ends must still be
// in quick-ack mode right after every read, not only on the first.
TEST(Socket, StaysInQuickAckModeAfterEveryReadOfAnExchange) {
  AcceptedPair pair;
  ASSERT_TRUE(pair.ok);
  EXPECT_EQ(IntOption(pair.listener.Socketfd, IPPROTO_TCP, TCP_QUICKACK), 1);
  EXPECT_EQ(IntOption(pair.client.Socketfd, IPPROTO_TCP, TCP_QUICKACK), 1);
  char got = 0;
  for (int round = 1; round <= 6; ++round) {
    ASSERT_TRUE(pair.client.SendBinary("q", 1));
    ASSERT_EQ(pair.listener.ReadBinary(&got, 1), 1);
    EXPECT_EQ(IntOption(pair.listener.Socketfd, IPPROTO_TCP, TCP_QUICKACK), 1) << "round " << round;
    ASSERT_TRUE(pair.listener.SendBinary("a", 1));
    ASSERT_EQ(pair.client.ReadBinary(&got, 1), 1);
    EXPECT_EQ(IntOption(pair.client.Socketfd, IPPROTO_TCP, TCP_QUICKACK), 1) << "round " << round;
  }
}

TEST(Socket, HandsAnAcceptedConnectionOverAndTakesItBack) {
  AcceptedPair pair;
  ASSERT_TRUE(pair.ok);
  int handle = pair.listener.Detach();
  EXPECT_FALSE(pair.listener.Connected);
  EXPECT_TRUE(pair.listener.Listened);
  Socket association;
  association.Attach(handle);
  EXPECT_TRUE(association.Connected);
  ASSERT_TRUE(association.SendBinary("x", 1));
  char got = 0;
  EXPECT_EQ(pair.client.ReadBinary(&got, 1), 1);
  EXPECT_EQ(got, 'x');
}

TEST(Socket, RefusesPortsItCannotResolveOrBind) {
  LogCapture log;
  Socket bad;
  EXPECT_FALSE(bad.Listen("no-such-service-name"));
  EXPECT_TRUE(log.Contains("ERROR, could not resolve port"));

  std::string port = std::to_string(FreePort());
  Socket first, second;
  ASSERT_TRUE(first.Listen(port));
  EXPECT_FALSE(second.Listen(port));
  EXPECT_TRUE(log.Contains("ERROR, could not bind socket"));
  EXPECT_EQ(second.LastError, EADDRINUSE);
  EXPECT_FALSE(second.Listened);
}

// A service restarted right after ending associations in order (our FIN
// first, so the port keeps connections in TIME_WAIT) must get its port back.
TEST(Socket, ListensAgainWhileClosedConnectionsAreInTimeWait) {
  const std::string port = std::to_string(FreePort());
  {
    Socket listener;
    ASSERT_TRUE(listener.Listen(port));
    // A plain peer that answers our FIN with its own, as modalities do.
    std::thread peer([&] {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in to{};
      to.sin_family = AF_INET;
      to.sin_port = htons(static_cast<std::uint16_t>(std::stoi(port)));
      to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
        char got;
        while (recv(fd, &got, 1, 0) > 0) {
        }
      }
      close(fd);
    });
    ASSERT_TRUE(listener.Accept());
    EXPECT_TRUE(listener.CloseInOrder(2000));
    peer.join();
  }
  Socket again;
  EXPECT_TRUE(again.Listen(port)) << "errno " << again.LastError;
}

TEST(Socket, ConnectReportsARefusedConnectionWithHostPortAndCode) {
  LogCapture log;
  std::string port = std::to_string(FreePort());
  Socket client;
  EXPECT_FALSE(client.Connect("127.0.0.1", port));
  EXPECT_TRUE(log.Contains("ERROR, Connecting to Socket: 127.0.0.1:" + port + ", " +
                           std::to_string(ECONNREFUSED)))
      << log.Text();
  EXPECT_EQ(client.LastError, ECONNREFUSED);
  EXPECT_FALSE(client.Connected);
}

TEST(Socket, ConnectResolvesHostNamesAndRefusesUnknownOnes) {
  LogCapture log;
  std::string port = std::to_string(FreePort());
  Socket listener, client;
  ASSERT_TRUE(listener.Listen(port));
  EXPECT_TRUE(client.Connect("localhost", port)) << log.Text();
  EXPECT_EQ(client.NumericAddress, htonl(INADDR_LOOPBACK));

  Socket unknown;
  EXPECT_FALSE(unknown.Connect("no-such-host.invalid", port));
  EXPECT_TRUE(log.Contains("ERROR, could not resolve host name"));
  Socket badPort;
  EXPECT_FALSE(badPort.Connect("127.0.0.1", "no-such-service-name"));
  EXPECT_TRUE(log.Contains("ERROR, could not resolve host port"));
}

TEST(Socket, ReadTimesOutClosesAndLaterCallsFailSilently) {
  LogCapture log;
  AcceptedPair pair;
  ASSERT_TRUE(pair.ok);
  pair.listener.SetTimeout(1);
  char got[4];
  EXPECT_EQ(pair.listener.ReadBinary(got, sizeof got), -1);
  EXPECT_TRUE(log.Contains("ERROR, Socket::ReadBinary, Timed out"));
  EXPECT_FALSE(pair.listener.Connected);

  std::string before = log.Text();
  EXPECT_FALSE(pair.listener.SendBinary("x", 1));
  EXPECT_EQ(pair.listener.ReadBinary(got, sizeof got), -1);
  EXPECT_EQ(log.Text(), before);
}

TEST(Socket, ZeroTimeOutPollsOnceWithoutALogLine) {
  LogCapture log;
  AcceptedPair pair;
  ASSERT_TRUE(pair.ok);
  pair.listener.SetTimeout(0);
  char got[4];
  EXPECT_EQ(pair.listener.ReadBinary(got, sizeof got), 0);
  EXPECT_FALSE(pair.listener.Connected);
  EXPECT_EQ(log.Text(), "");
}

TEST(Socket, APeerThatClosesEndsTheReadWithoutALogLine) {
  LogCapture log;
  AcceptedPair pair;
  ASSERT_TRUE(pair.ok);
  pair.client.Close();
  char got[4];
  EXPECT_EQ(pair.listener.ReadBinary(got, sizeof got), -1);
  EXPECT_FALSE(pair.listener.Connected);
  EXPECT_EQ(log.Text(), "");
}

TEST(Socket, AcceptWithoutListeningIsRefused) {
  LogCapture log;
  Socket idle;
  EXPECT_FALSE(idle.Accept());
  EXPECT_TRUE(log.Contains("ERROR Socket:Accept not Listened"));
}

TEST(Socket, ConnectToAPeerThatNeverAnswersGivesUpAfterTheTimeOut) {
  // A listener that never accepts, with its queue already full: Linux then
  // drops further SYNs, as a firewall or a switched-off host does.
  Socket listener;
  std::string port = std::to_string(FreePort());
  ASSERT_TRUE(listener.Listen(port));
  ASSERT_EQ(::listen(listener.ListenSocketfd, 0), 0);
  std::vector<std::unique_ptr<Socket>> queued;
  LogCapture log;
  bool connected = true;
  // The first connects fill the queue; a later one must fail by time-out.
  for (int i = 0; i < 8 && connected; ++i) {
    auto next = std::make_unique<Socket>();
    next->SetTimeout(1);
    connected = next->Connect("127.0.0.1", port);
    queued.push_back(std::move(next));
  }
  ASSERT_FALSE(connected) << "the listen queue never filled";
  EXPECT_EQ(queued.back()->LastError, ETIMEDOUT);
  EXPECT_TRUE(log.Contains("ERROR, Connecting to Socket: 127.0.0.1:" + port + ", " +
                           std::to_string(ETIMEDOUT)))
      << log.Text();
}

}  // namespace tarvelin
