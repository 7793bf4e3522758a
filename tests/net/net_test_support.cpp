#include "net_test_support.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace tarvelin {

namespace nettest {

SocketPair::SocketPair() {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) throw std::runtime_error("socketpair");
  ours = fds[0];
  theirs = fds[1];
}

SocketPair::~SocketPair() {
  // `ours` is normally owned (and closed) by the Socket under test.
  if (theirs >= 0) close(theirs);
}

LinkPair::LinkPair() {
  link.Sock.Attach(pair.ours);
  link.SetIncomingEndian(Buffer::BigEndianOrder);
  link.SetOutgoingEndian(Buffer::BigEndianOrder);
}

Bytes& Bytes::u8(unsigned v) {
  data.push_back(static_cast<std::uint8_t>(v));
  return *this;
}
Bytes& Bytes::u16(unsigned v) { return u8(v >> 8).u8(v & 0xFF); }
Bytes& Bytes::u32(std::uint32_t v) { return u16(v >> 16).u16(v & 0xFFFF); }
Bytes& Bytes::text(const std::string& s) {
  for (char c : s) data.push_back(static_cast<std::uint8_t>(c));
  return *this;
}
Bytes& Bytes::append(const Bytes& other) { return append(other.data); }
Bytes& Bytes::append(const std::vector<std::uint8_t>& other) {
  data.insert(data.end(), other.begin(), other.end());
  return *this;
}

Bytes UidItem(std::uint8_t type, const std::string& uid) {
  return Bytes().u8(type).u8(0).u16(static_cast<unsigned>(uid.size())).text(uid);
}

Bytes RequestContext(std::uint8_t id, const std::string& abstractSyntax,
                     const std::vector<std::string>& transferSyntaxes) {
  Bytes body;
  body.u8(id).u8(0).u8(0).u8(0).append(UidItem(0x30, abstractSyntax));
  for (const std::string& ts : transferSyntaxes) body.append(UidItem(0x40, ts));
  return Bytes().u8(0x20).u8(0).u16(static_cast<unsigned>(body.size())).append(body);
}

Bytes UserInfoItem(const Bytes& subItems) {
  return Bytes().u8(0x50).u8(0).u16(static_cast<unsigned>(subItems.size())).append(subItems);
}

Bytes MaxLengthSubItem(std::uint32_t maximum) { return Bytes().u8(0x51).u8(0).u16(4).u32(maximum); }

Bytes AssociateRQ(const Bytes& items, const std::string& called, const std::string& calling) {
  auto title = [](std::string t) {
    t.resize(16, ' ');
    return t;
  };
  Bytes body;
  body.u16(1).u16(0).text(title(called)).text(title(calling)).text(std::string(32, '\0'));
  body.append(UidItem(0x10, "1.2.840.10008.3.1.1.1")).append(items);
  return Bytes().u8(1).u8(0).u32(static_cast<std::uint32_t>(body.size())).append(body);
}

Bytes PDataPDU(std::uint8_t contextID, std::uint8_t header, const std::vector<std::uint8_t>& value) {
  auto n = static_cast<std::uint32_t>(value.size());
  return Bytes().u8(4).u8(0).u32(n + 6).u32(n + 2).u8(contextID).u8(header).append(value);
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t at = 0;
  while (at < bytes.size()) {
    ssize_t sent = send(fd, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
    if (sent <= 0) return;
    at += static_cast<std::size_t>(sent);
  }
}

std::vector<std::uint8_t> ReadExactly(int fd, std::size_t count, int timeoutMs) {
  std::vector<std::uint8_t> out;
  std::uint8_t piece[4096];
  while (out.size() < count) {
    pollfd wait{fd, POLLIN, 0};
    if (poll(&wait, 1, timeoutMs) <= 0) break;
    ssize_t got = recv(fd, piece, std::min(sizeof piece, count - out.size()), 0);
    if (got <= 0) break;
    out.insert(out.end(), piece, piece + got);
  }
  return out;
}

std::vector<std::uint8_t> ReadPDU(int fd, int timeoutMs) {
  std::vector<std::uint8_t> pdu = ReadExactly(fd, 6, timeoutMs);
  if (pdu.size() < 6) return {};
  std::vector<std::uint8_t> body = ReadExactly(fd, BE32(pdu, 2), timeoutMs);
  pdu.insert(pdu.end(), body.begin(), body.end());
  return pdu;
}

bool PeerClosed(int fd, int timeoutMs) {
  std::uint8_t piece[256];
  for (;;) {
    pollfd wait{fd, POLLIN, 0};
    if (poll(&wait, 1, timeoutMs) <= 0) return false;
    ssize_t got = recv(fd, piece, sizeof piece, 0);
    if (got <= 0) return true;
  }
}

std::uint32_t BE32(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return std::uint32_t{bytes.at(at)} << 24 | std::uint32_t{bytes.at(at + 1)} << 16 |
         std::uint32_t{bytes.at(at + 2)} << 8 | bytes.at(at + 3);
}

std::uint16_t BE16(const std::vector<std::uint8_t>& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(bytes.at(at) << 8 | bytes.at(at + 1));
}

}  // namespace nettest

}  // namespace tarvelin
