// Feeds arbitrary bytes to an acceptor: the bytes arrive on one end of a
// socket pair, then the sender closes its side. The acceptor negotiates and
// reads message parts until the association ends. Any crash, sanitizer
// report, hang or runaway allocation is a finding.
#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

#include "dicom/dcmobj.h"
#include "net/pdu_service.h"
#include "service/settings.h"

using namespace tarvelin;

namespace {

// Requests and answers stay within the socket buffers, so neither side
// blocks while the other is not reading.
constexpr std::size_t MaxInput = 64 * 1024;

void WriteAll(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    ssize_t sent = send(fd, data, size, MSG_NOSIGNAL);
    if (sent <= 0) return;
    data += sent;
    size -= static_cast<std::size_t>(sent);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > MaxInput) return 0;
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return 0;
  int room = 1 << 20;
  for (int fd : fds) {
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &room, sizeof room);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &room, sizeof room);
  }
  WriteAll(fds[1], data, size);
  shutdown(fds[1], SHUT_WR);
  ServerSettings.LogLevel = 2;  // build every debug line and dump (no log file is set)
  {
    PDU_Service acceptor;
    acceptor.DumpDataSets = true;
    acceptor.Link.Sock.SetTimeout(1);
    if (acceptor.Multiplex(fds[0])) {
      DcmObj obj;
      while (acceptor.Read(obj)) obj.Clear();
    }
  }  // the acceptor closes its end
  close(fds[1]);
  return 0;
}
