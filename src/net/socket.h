#pragma once
// A blocking IPv4 TCP connection or listening socket for everything DICOM:
// the listener, each accepted association, the find client's outgoing
// connection and the stop handler's wake-up connection. A connection may be
// wrapped in TLS (StartTls); reads, writes and their time-outs then work the
// same on the decrypted stream. Failures are reported by the result and one
// log line; nothing throws.
#include <netinet/in.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace tarvelin {

class TlsContext;
class TlsSession;

class Socket {
 public:
  static constexpr int NoHandle = -1;  // a handle field that holds no socket

  int LastError = 0;                 // platform error of the last failed bind or connect
  std::uint32_t NumericAddress = 0;  // peer address (network order) when given in dotted form
  int Socketfd = NoHandle;           // the connection in use
  int ListenSocketfd = NoHandle;     // the listening socket
  bool Connected = false;
  bool Listened = false;
  int TimeOut = 300;  // read time-out in seconds; 0 means "poll once, no error line"
  sockaddr_in Address{};  // address used for bind, accept (the peer) and connect

  Socket();
  ~Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Listening socket on all local IPv4 addresses; the port is a number or a
  // service name.
  bool Listen(const std::string& port);
  // Waits (no time-out) for one connection; it becomes the connected handle.
  bool Accept();
  // Outgoing connection to a dotted address or host name, given up after
  // TimeOut seconds (when not 0) with ETIMEDOUT in LastError. A later
  // StartTls expects the peer's certificate to be made out to `host`.
  bool Connect(const std::string& host, const std::string& port);
  // Sends the whole block; false (no log line) when not connected.
  bool SendBinary(const void* bytes, std::size_t count);
  // Up to `size` bytes: the count read, 0 (time-out with TimeOut 0) or -1.
  int ReadBinary(void* buffer, std::size_t size);
  // Closes both handles without shutdown; always true.
  bool Close();
  // Ends the connection in order: our FIN at once, then the handle is closed
  // without a reset when the peer has closed its side or after `waitMs`.
  // True when the peer closed its side in time.
  bool CloseInOrder(int waitMs);
  bool SetTimeout(int seconds);
  // True when a read would not wait: bytes (or the peer's close) arrived.
  bool Readable() const;
  // Reads fail once `seconds` from now have passed, however the bytes
  // trickle in (TimeOut bounds each wait alone); 0 removes the deadline.
  void SetReadDeadline(int seconds);
  // True when the read deadline has passed.
  bool DeadlinePassed() const;

  // Runs the TLS handshake on the connected handle, as the context's side,
  // within `seconds` (and the read deadline, when one is set); every later
  // read and write goes through TLS. False, with the connection closed and
  // one line naming the peer address and the reason, when it fails.
  bool StartTls(const TlsContext& context, int seconds);
  // True while the connection runs over TLS.
  bool Secure() const { return tls_ != nullptr; }
  // "address:port" of the connected peer, or "" when unknown.
  std::string PeerAddress() const;

  // Takes over a connection accepted elsewhere (the association thread).
  void Attach(int handle);
  // Gives up the connected handle without closing it (the listener hands it
  // to an association thread); returns NoHandle when there is none.
  int Detach();
  // Gives up the listening handle without closing it (another owner runs
  // the accept loop); NoHandle when there is none.
  int DetachListening();

  // The platform's last socket error code (errno).
  static int GetLastError();

  // Number of live Socket objects in the process.
  static int LiveCount();

 private:
  // Waits until the handle is ready for `events` (POLLIN, POLLOUT), at most
  // TimeOut seconds and, for reads, until the deadline: > 0 ready, 0 timed
  // out, < 0 failed.
  int WaitReady(short events, bool reading);
  // The end of a read that timed out: the connection is closed.
  int ReadTimedOut();
  int ReadSecure(void* buffer, std::size_t size);
  bool SendSecure(const std::uint8_t* next, std::size_t count);
  bool SendFailed(int error);

  std::optional<std::chrono::steady_clock::time_point> deadline_;
  std::unique_ptr<TlsSession> tls_;  // set while the connection runs over TLS
  std::string connectedHost_;        // the host of our own Connect ("" when accepted)
};

}  // namespace tarvelin
