#pragma once
// The DICOM listener: accepts connections on one port and runs a ChildThread
// for each on a thread of its own, at most `maxAssociations` at once; one
// more is answered with an A-ASSOCIATE-RJ (rejected-transient, local limit
// exceeded) instead of getting a thread. A failed accept is logged and
// retried. Stop asks every association to end and waits for their threads.
// With a TLS context every connection runs the TLS handshake before its
// association; the association service is the same on either kind of port.
#include <string>

#include "platform/tcp_server.h"

namespace tarvelin {

class TlsContext;

class ServerThread {
 public:
  // `tls` (kept by the caller for the listener's life) makes this a TLS port.
  ServerThread(std::string port, int maxAssociations, const TlsContext* tls = nullptr)
      : port_(std::move(port)), maxAssociations_(maxAssociations), tls_(tls) {}
  // Stops when still running.
  ~ServerThread() { Stop(); }
  ServerThread(const ServerThread&) = delete;
  ServerThread& operator=(const ServerThread&) = delete;

  // Listens on the port (a number or a service name) and starts accepting;
  // false, with "ERROR: Couldn't initialize port: " logged, when it cannot.
  bool Start();
  // Closes the listening socket, shuts every open association's connection
  // down and joins their threads (each ends within its closing wait).
  void Stop() { server_.Deactivate(); }
  const std::string& Port() const { return port_; }

 private:
  std::string port_;
  int maxAssociations_;
  const TlsContext* tls_;
  TcpServer server_;
};

}  // namespace tarvelin
