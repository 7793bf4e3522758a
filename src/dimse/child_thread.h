#pragma once
// One association: negotiates it on an accepted connection, reads DIMSE
// requests one after the other, hands each to the service that answers it,
// and closes the connection: after a release in order, once the peer has
// closed its side (at most 2000 ms later); otherwise 2000 ms after the last
// request.
#include <string>

#include "dicom/dcmobj.h"

namespace tarvelin {

class NMessage;
class PDU_Service;
class TcpConnection;
class TlsContext;
struct ProcedureStepRequest;

class ChildThread {
 public:
  // With `tls` the association runs over TLS on that context; `peerAddress`
  // is the peer the association is checked and logged against.
  ChildThread(int handle, std::string peerAddress, const TlsContext* tls = nullptr)
      : handle_(handle), tls_(tls), peerAddress_(std::move(peerAddress)) {}

  // Runs a ChildThread for an accepted connection, on the calling thread
  // (the listener's connection thread). The association works on a
  // descriptor of its own; the listener keeps the connection's to wake it at
  // stop and closes it when this returns.
  static void Serve(TcpConnection& connection, const TlsContext* tls);

  // The thread body.
  void Execute();

 private:
  // What the message loop does after a request.
  enum class Next { Continue, EndLoop, EndThread };

  Next Dispatch(PDU_Service& association, DcmObj& command);
  Next Find(PDU_Service& association, DcmObj& command);
  Next Echo(PDU_Service& association, DcmObj& command);
  Next Set(PDU_Service& association, DcmObj& command);
  Next Create(PDU_Service& association, DcmObj& command);
  // An N-SET or N-CREATE: read, MPPS update on the MPPS class, response.
  Next ProcedureStep(PDU_Service& association, DcmObj& command, NMessage& message,
                     const ProcedureStepRequest& request);

  // " Socket: " + the handle, as log lines end.
  std::string SocketText() const;

  int handle_;
  const TlsContext* tls_;
  std::string peerAddress_;
};

}  // namespace tarvelin
