#pragma once
// Shared helpers of the network tests: socket pairs, raw byte builders and
// exact reads with time-outs.
#include <cstdint>
#include <string>
#include <vector>

#include "net/buffer.h"
#include "support/free_port.h"
#include "support/log_file.h"

namespace tarvelin {

namespace nettest {

// The shared test helpers, also under the names the network tests use.
using tarvelin::FreePort;
using tarvelin::LogCapture;

// Connected AF_UNIX stream sockets: `ours` goes to the code under test.
struct SocketPair {
  int ours = -1;
  int theirs = -1;
  SocketPair();
  ~SocketPair();
};

// A big-endian Buffer bound to `ours` of a socket pair.
struct LinkPair {
  SocketPair pair;
  Buffer link;
  LinkPair();
};

// Bytes in network order, built field by field.
struct Bytes {
  std::vector<std::uint8_t> data;
  Bytes& u8(unsigned v);
  Bytes& u16(unsigned v);
  Bytes& u32(std::uint32_t v);
  Bytes& text(const std::string& s);
  Bytes& append(const Bytes& other);
  Bytes& append(const std::vector<std::uint8_t>& other);
  std::size_t size() const { return data.size(); }
};

// A UID item (type, 0, length, UID).
Bytes UidItem(std::uint8_t type, const std::string& uid);
// A request presentation context item.
Bytes RequestContext(std::uint8_t id, const std::string& abstractSyntax,
                     const std::vector<std::string>& transferSyntaxes);
// A user information item holding the given sub-item bytes.
Bytes UserInfoItem(const Bytes& subItems);
// A maximum length sub-item.
Bytes MaxLengthSubItem(std::uint32_t maximum);
// A whole A-ASSOCIATE-RQ around the given items (after the application context).
Bytes AssociateRQ(const Bytes& items, const std::string& called = "TARVELIN",
                  const std::string& calling = "MODALITY");
// A P-DATA-TF PDU with one PDV.
Bytes PDataPDU(std::uint8_t contextID, std::uint8_t header, const std::vector<std::uint8_t>& value);

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes);
// Exactly `count` bytes, or fewer when the peer closed or `timeoutMs` passed.
std::vector<std::uint8_t> ReadExactly(int fd, std::size_t count, int timeoutMs = 5000);
// One whole PDU (header and body), or empty when none arrived in time.
std::vector<std::uint8_t> ReadPDU(int fd, int timeoutMs = 5000);
// True when the peer closed (end of stream or reset) within the time.
bool PeerClosed(int fd, int timeoutMs = 5000);

std::uint32_t BE32(const std::vector<std::uint8_t>& bytes, std::size_t at);
std::uint16_t BE16(const std::vector<std::uint8_t>& bytes, std::size_t at);

}  // namespace nettest

}  // namespace tarvelin
