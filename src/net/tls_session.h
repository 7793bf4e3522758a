#pragma once
// One TLS conversation over a connected, non-blocking descriptor. No call
// waits: the result tells what the session needs next (bytes to arrive, room
// to send), and the owner (Socket) waits for it under its own time-outs.
#include <cstddef>
#include <string>

#include "net/tls_context.h"

struct ssl_st;

namespace tarvelin {

class TlsSession {
 public:
  enum class Progress { Done, WantRead, WantWrite, Closed, Failed };

  // The descriptor stays the caller's; the session never closes it.
  TlsSession(const TlsContext& context, int fd);
  ~TlsSession();
  TlsSession(const TlsSession&) = delete;
  TlsSession& operator=(const TlsSession&) = delete;

  // Requestor, before the handshake: the peer's certificate must be made out
  // to this host name or IPv4 address (the name is also sent as SNI).
  void ExpectPeer(const std::string& host);
  // Advances the handshake; Done once it is complete.
  Progress Handshake();
  // Moves up to `size` decrypted bytes into `buffer`; `moved` counts them.
  Progress Read(void* buffer, std::size_t size, std::size_t& moved);
  // Encrypts and sends up to `count` bytes; `moved` counts those taken.
  Progress Write(const void* bytes, std::size_t count, std::size_t& moved);
  // True when bytes are buffered inside the session, so the descriptor may
  // not become readable although a Read would return data.
  bool Pending() const;
  // Sends our closing alert without waiting for the peer's.
  void Shutdown();

  // Why the last call failed: the peer's certificate that was refused, or
  // the library's reason.
  const std::string& FailureReason() const { return failure_; }
  // Protocol and cipher suite of the finished handshake ("TLSv1.3 TLS_AES_...").
  std::string Summary() const;
  // Subject of the peer's certificate, or "" when it sent none.
  std::string PeerSubject() const;

 private:
  // What a failed or unfinished call needs next.
  Progress Outcome(int result);
  // The result of a read or write: bytes moved, or what it needs next.
  Progress Moved(int result, std::size_t& moved);

  ssl_st* ssl_;
  std::string failure_;
};

}  // namespace tarvelin
