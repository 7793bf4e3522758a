#include "dimse/server_thread.h"

#include <exception>

#include "dimse/child_thread.h"
#include "net/control_pdu.h"
#include "net/socket.h"
#include "service/log.h"

namespace tarvelin {

namespace {

// The answer to an association over the limit: rejected-transient, by the
// service provider (presentation related), local limit exceeded.
std::string LimitRejection() {
  AAssociateRJ rejection;
  rejection.Result = 2;
  rejection.Source = 3;
  rejection.Reason = 2;
  return rejection.Encoded();
}

}  // namespace

bool ServerThread::Start() {
  Socket listener;
  if (!listener.Listen(port_)) {
    WriteLog("ERROR: Couldn't initialize port: " + port_);
    return false;
  }
  WriteLog(std::string(tls_ ? "Initialize DICOM TLS port: " : "Initialize DICOM port: ") + port_);
  const int limit = maxAssociations_;
  const TlsContext* tls = tls_;
  server_.SetOnExecute([tls](TcpConnection& connection) { ChildThread::Serve(connection, tls); });
  server_.SetOnError([](const std::string& text) { WriteLog("ERROR, ServerThread, " + text); });
  server_.SetConnectionLimit(limit, LimitRejection(), [limit](const std::string& peer) {
    WriteLog("WARNING, ServerThread, association from " + peer + " rejected: " + std::to_string(limit) +
             " associations open (MaxAssociations)");
  });
  try {
    server_.Serve(listener.DetachListening());
  } catch (const std::exception& e) {
    WriteLog(std::string("ERROR, Exception in Server Thread Loop, ") + e.what());
    return false;
  }
  return true;
}

}  // namespace tarvelin
