// Hand-made malformed PDUs sent through a raw TCP connection to our acceptor:
// every one must end in a clean refusal (an error line, an A-ABORT where the
// connection still works, a closed connection) within a bounded time.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "association_fixture.h"
#include "net/socket.h"

namespace tarvelin {

using namespace nettest;

namespace {

int RawConnect(int port) {
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

struct Outcome {
  bool negotiated = false;
  int messagesRead = 0;
};

// One acceptor association: set-up, then reads until the first failure.
Outcome Serve(Socket& listener) {
  Outcome outcome;
  if (!listener.Accept()) return outcome;
  PDU_Service acceptor;
  acceptor.Link.Sock.SetTimeout(2);
  outcome.negotiated = acceptor.Multiplex(listener.Detach());
  DcmObj obj;
  while (outcome.negotiated && acceptor.Read(obj)) ++outcome.messagesRead;
  return outcome;
}

std::vector<std::uint8_t> ValidRequest() {
  Bytes items;
  items.append(RequestContext(1, VerificationUID, {ImplicitUID}))
      .append(UserInfoItem(MaxLengthSubItem(16384)));
  return AssociateRQ(items).data;
}

struct Case {
  const char* name;
  bool afterSetUp;  // sent once the association is negotiated
  std::vector<std::uint8_t> bytes;
  const char* line;  // the refusal's log line
  int reason;        // of the provider's A-ABORT; -1: none is sent
};

// A request whose body (after the type byte and the reserved byte) is `body`.
std::vector<std::uint8_t> RequestWithLength(std::uint32_t length, const Bytes& body) {
  return Bytes().u8(1).u8(0).u32(length).append(body).data;
}

std::vector<std::uint8_t> RequestWithItems(const Bytes& items) { return AssociateRQ(items).data; }

}  // namespace

TEST(Malformed, EveryMalformedPDUEndsInACleanRefusal) {
  Bytes fixedPart;
  fixedPart.u16(1).u16(0).text(std::string(32, ' ')).text(std::string(32, '\0'));
  std::vector<std::uint8_t> truncated = ValidRequest();
  truncated.resize(truncated.size() / 2);
  const std::vector<Case> cases = {
      {"request of 4 GiB", false, RequestWithLength(0xFFFFFFFF, fixedPart),
       "ERROR, AAssociateRQ::Read, PDU length 4294967295 refused", 6},
      {"request shorter than its fixed part", false, RequestWithLength(10, Bytes().u32(0).u32(0).u16(0)),
       "ERROR, AAssociateRQ::Read, PDU length 10 refused", 6},
      {"context item longer than the PDU", false,
       RequestWithItems(Bytes().u8(0x20).u8(0).u16(0xFFF0).u8(1).u8(0).u8(0).u8(0)),
       "ERROR, PresentationContext::Read, length 65520 does not fit", 6},
      {"user information longer than the PDU", false,
       RequestWithItems(Bytes().u8(0x50).u8(0).u16(500).append(MaxLengthSubItem(0))),
       "ERROR, UserInformation::Read, length 500 does not fit", 6},
      {"application context UID of 65535 bytes", false,
       Bytes().u8(1).u8(0).u32(68 + 4 + 8).append(fixedPart).u8(0x10).u8(0).u16(0xFFFF).u32(0).u32(0).data,
       "ERROR, UIDitem::Read, UID length 65535 does not fit", 6},
      {"unknown item type", false, RequestWithItems(Bytes().u8(0x77).u8(0).u16(0)),
       "WARNING, AAssociateRQ::Read Unknown Packet", 6},
      {"P-DATA-TF before the request", false, Bytes().u8(4).u8(0).u32(6).u32(2).u8(1).u8(3).data,
       "ERROR, PDU_Service::Multiplex, PDU type 4 before the A-ASSOCIATE-RQ", 2},
      {"unknown PDU type before the request", false, Bytes().u8(0x0A).u8(0).u32(0).data,
       "ERROR, PDU_Service::Multiplex, PDU type 10 before the A-ASSOCIATE-RQ", 1},
      {"truncated request, then silence", false, truncated,
       "ERROR, PDU_Service::Multiplex, assocRQ.Read()", -1},
      {"P-DATA-TF of 4 GiB", true, Bytes().u8(4).u8(0).u32(0xFFFFFFFF).u32(100).u8(1).u8(3).data,
       "ERROR, PDataTF::ReadDynamic, PDU length 4294967295 over the limit", 6},
      {"PDV longer than its PDU", true, Bytes().u8(4).u8(0).u32(20).u32(0xFFFFFF00).u8(1).u8(3).data,
       "ERROR, PDataTF::ReadDynamic, PDV length 4294967040 does not fit its PDU", 6},
      {"PDV length 0", true, Bytes().u8(4).u8(0).u32(20).u32(0).u8(1).u8(3).data,
       "ERROR, PDataTF::ReadDynamic, PDV length 0 does not fit its PDU", 6},
      {"unknown PDU type", true, Bytes().u8(0xFF).u8(0).u32(0).data,
       "ERROR, PDU_Service::Read Protocol Error", 1},
      {"release request of the wrong length", true, Bytes().u8(5).u8(0).u32(0x7FFFFFFF).u32(0).data,
       "ERROR, ReleasePDU::Read, PDU length 2147483647 refused", 6},
      {"truncated P-DATA-TF, then silence", true, Bytes().u8(4).u8(0).u32(100).u32(98).u8(1).data,
       "ERROR, Socket::ReadBinary, Timed out", -1},
  };
  for (const Case& c : cases) {
    LogCapture log;
    Socket listener;
    int port = FreePort();
    ASSERT_TRUE(listener.Listen(std::to_string(port))) << c.name;
    auto served = std::async(std::launch::async, [&] { return Serve(listener); });
    int fd = RawConnect(port);
    ASSERT_GE(fd, 0) << c.name;
    if (c.afterSetUp) {
      WriteAll(fd, ValidRequest());
      ASSERT_EQ(ReadPDU(fd).at(0), 0x02) << c.name;
    }
    WriteAll(fd, c.bytes);
    ASSERT_EQ(served.wait_for(std::chrono::seconds(8)), std::future_status::ready) << c.name;
    Outcome outcome = served.get();
    EXPECT_EQ(outcome.negotiated, c.afterSetUp) << c.name;
    EXPECT_EQ(outcome.messagesRead, 0) << c.name;
    EXPECT_TRUE(log.Contains(c.line)) << c.name << "\n" << log.Text();
    if (c.reason >= 0) {
      EXPECT_EQ(ReadPDU(fd, 2000), AbortPDU(2, static_cast<std::uint8_t>(c.reason))) << c.name;
    }
    EXPECT_TRUE(PeerClosed(fd, 2000)) << c.name;
    close(fd);
  }
}

}  // namespace tarvelin
