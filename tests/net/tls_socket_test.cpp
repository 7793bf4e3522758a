// Socket over TLS on loopback: a transfer larger than the socket buffers
// arrives whole; writing to a peer that has gone fails with a line and a
// closed connection.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "net/socket.h"
#include "net/tls_context.h"
#include "net_test_support.h"
#include "support/test_certificates.h"

namespace tarvelin {

using nettest::FreePort;
using nettest::LogCapture;

namespace {

class TlsSocket : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(certificates.Problem(), "");
    std::string error;
    server = TlsContext::Create(TlsContext::Side::Acceptor,
                                {certificates.ServerCertificate(), certificates.ServerKey(), ""}, error);
    client = TlsContext::Create(TlsContext::Side::Requestor, {"", "", certificates.Authority()}, error);
    ASSERT_TRUE(server && client) << error;
    const std::string port = std::to_string(FreePort());
    ASSERT_TRUE(listener.Listen(port));
    bool clientReady = false;
    std::thread connector([&] {
      clientReady = near.Connect("127.0.0.1", port) && near.StartTls(*client, 10);
    });
    const bool accepted = listener.Accept();
    far.Attach(listener.Detach());
    const bool serverReady = accepted && far.StartTls(*server, 10);
    connector.join();
    ASSERT_TRUE(clientReady && serverReady) << log.Text();
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  LogCapture log;
  std::string folder = "/tmp/tarvelin-tls-socket-" + std::to_string(FreePort());
  TestCertificates certificates{folder};
  std::unique_ptr<TlsContext> server, client;
  Socket listener, near, far;
};

TEST_F(TlsSocket, ABlockLargerThanTheSocketBuffersArrivesWhole) {
  std::vector<std::uint8_t> sent(8 << 20);
  for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<std::uint8_t>(i * 7 + i / 4096);
  std::thread sender([&] { EXPECT_TRUE(near.SendBinary(sent.data(), sent.size())); });
  std::vector<std::uint8_t> received;
  std::uint8_t piece[1024];
  while (received.size() < sent.size()) {
    const int got = far.ReadBinary(piece, sizeof piece);
    if (got <= 0) break;
    received.insert(received.end(), piece, piece + got);
  }
  sender.join();
  EXPECT_TRUE(received == sent) << received.size() << " of " << sent.size() << " bytes\n" << log.Text();
}

TEST_F(TlsSocket, WritingToAPeerThatHasGoneFails) {
  near.Close();
  const std::vector<std::uint8_t> block(256 * 1024, 0x5A);
  bool failed = false;
  for (int attempt = 0; attempt < 20 && !failed; ++attempt) failed = !far.SendBinary(block.data(), block.size());
  EXPECT_TRUE(failed);
  EXPECT_TRUE(log.Contains("ERROR, Socket::SendBinary, couldn't send")) << log.Text();
  EXPECT_FALSE(far.Connected);
}

}  // namespace

}  // namespace tarvelin
