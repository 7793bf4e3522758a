#pragma once
// One DICOM association, on either side. As acceptor it takes over an
// accepted connection, negotiates the A-ASSOCIATE-RQ and answers with an
// A-ASSOCIATE-AC; as requestor it connects, sends assocRQ and checks the
// answer. Both sides then read and write DIMSE message parts (command sets
// and data sets) through P-DATA-TF PDUs, answer release requests, react to
// aborts and release. Used by one thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "dicom/dcmobj.h"
#include "net/associate_pdu.h"
#include "net/buffer.h"
#include "net/control_pdu.h"
#include "net/pdatatf.h"
#include "net/presentation_context.h"

namespace tarvelin {

class TlsContext;
class CallerAllowList;

class PDU_Service {
 public:
  // The `kind` of a message part passed to Write.
  static constexpr int DataSetPart = 0;
  static constexpr int CommandPart = 1;

  // Contexts with result 0 of this association, in accept order, each with
  // its ID, abstract syntax and transfer syntax.
  std::vector<PresentationContextAccept> AcceptedPresentationContexts;
  bool DumpDataSets = false;  // log every message part read or written
  // As acceptor, seconds the peer has to complete its A-ASSOCIATE-RQ (the
  // standard's ARTIM timer), so idle or trickling connections cannot hold
  // the association slots that modalities need.
  int AssociationTimeout = 30;
  // When set, the connection runs over TLS: as acceptor the handshake comes
  // first, within AssociationTimeout; as requestor right after the connect,
  // within the socket's time-out.
  const TlsContext* Tls = nullptr;
  // As acceptor: the peer's address, and who may connect and do what (none:
  // everyone, everything). A caller not on the list is rejected (1/1/3);
  // contexts for services the caller may not use are refused (user rejection).
  std::string PeerAddress;
  const CallerAllowList* Callers = nullptr;
  std::string UserName;  // user identity sent when requesting (empty: none)
  std::string Passcode;
  Buffer Link;  // the connection; big-endian both ways
  AAssociateRQ assocRQ;
  AAssociateAC assocAC;
  AAssociateRJ assocRJ;
  AReleaseRQ releaseRQ;
  AReleaseRP releaseRP;
  AAbortRQ abortRQ;
  // Its StoredPresentationContextID is the context of the last PDV read and
  // the one every message part is written on (0 until set up).
  PDataTF pdata;

  PDU_Service();
  ~PDU_Service();
  PDU_Service(const PDU_Service&) = delete;
  PDU_Service& operator=(const PDU_Service&) = delete;

  // Acceptor: takes over an accepted connection, reads the request (within
  // AssociationTimeout) and negotiates it. False (connection closed) when
  // nothing was accepted.
  bool Multiplex(int handle);
  // Acceptor: negotiates assocRQ into assocAC and sends the accept.
  bool InterogateAAssociateRQ();
  // Requestor: connects, sends assocRQ (AE titles and contexts prepared by
  // the caller) and checks the answer.
  bool Connect(const std::string& host, const std::string& port);
  // Requestor: takes the peer's accepted contexts and the default context.
  bool InterogateAAssociateAC();

  // Bytes the next message part read may have (0: only the general cap of
  // pdu_limits.h); reset by that read. A longer part is read to its end and
  // dropped: Read then answers true with `obj` empty and PartOversized()
  // true, so the caller can answer with a failure status instead of an abort.
  std::uint32_t NextPartLimit = 0;
  bool PartOversized() const { return pdata.Oversized; }

  // Reads the next complete message part into `obj`. False on a release
  // request (answered, connection left open), an abort, a protocol error
  // (answered with an A-ABORT) or a broken connection.
  bool Read(DcmObj& obj);
  // Sends `obj` as one message part: kind CommandPart or DataSetPart.
  bool Write(DcmObj& obj, int kind);
  // Sends a command set and, when `dataSet` is given, its data set: all
  // their PDUs leave together, in one send when the socket takes them.
  // With `moreFollow` (a pending response, another message comes at once)
  // the PDUs wait in the outgoing queue until it holds SendBatchBytes, the
  // next message without it, or the next Read: a long answer then costs one
  // system call per batch instead of one per response, with the same bytes
  // on the wire.
  bool WriteMessage(DcmObj& command, DcmObj* dataSet, bool moreFollow = false);
  static constexpr std::size_t SendBatchBytes = 64 * 1024;
  // Sends an A-RELEASE-RQ, reads the answer and closes; always true.
  bool Release();
  // Sends an A-ABORT with that source and reason and closes the connection.
  // Protocol faults found here are the provider's; the layers above abort
  // as the service user.
  void Abort(AbortSource source = AbortSource::ServiceProvider,
             AbortReason reason = AbortReason::NotSpecified);
  // Closes the connection without a further PDU (messages already written
  // leave first).
  void Close();
  // True once a release request of the peer has been answered; the owner
  // then ends the connection with CloseInOrder.
  bool ReleaseAnswered() const { return releaseAnswered_; }
  // Closes the connection in order (our FIN, then the close once the peer has
  // closed its side or after `waitMs`): a peer that half-closes after the
  // A-RELEASE-RP and waits for our FIN must not see a reset.
  void CloseInOrder(int waitMs);
  bool IsConnected() const { return Link.Sock.Connected; }
  // True when the peer has sent something not yet read (a message, a
  // release, an abort or its close), so a Read would not wait. Lets a long
  // answer look for a cancel between its responses.
  bool MessageWaiting() const {
    return Link.IncomingCount() > 0 || pdata.Length != 0 || Link.Sock.Readable();
  }

  // Transfer syntax of an accepted context; false when not accepted.
  bool GetTransferSyntaxUID(std::uint8_t contextID, std::string& uid) const;
  // Abstract syntax of the accepted context of the stored context ID, or "".
  std::string GetAbstractSyntaxUID() const;

  // Decodes the bytes queued in `buffer` into `obj` in the transfer syntax
  // of the accepted context `contextID`.
  bool ParseRawVRIntoDCM(Buffer& buffer, DcmObj& obj, std::uint8_t contextID);
  // Encodes `obj` (in its own TransferSyntax and ExplicitVR form) into the
  // outgoing queue of `buffer`.
  bool ParseDCMIntoRawVR(DcmObj& obj, Buffer& buffer);

 private:
  void DumpDataSet(DcmObj& obj, const char* arrow);
  // Encodes one message part and queues its PDUs on Link.
  bool QueuePart(DcmObj& obj, int kind);
  // Sends what WriteMessage left queued; true when nothing was waiting.
  bool SendQueued();

  // Maximum PDU length the peer announced (0: no limit); bounds every
  // P-DATA-TF PDU we send.
  std::uint32_t peerMaximumLength_ = 0;
  // Scratch memory for encoding outgoing message parts.
  std::vector<std::uint8_t> encoded_;
  bool releaseAnswered_ = false;
};

}  // namespace tarvelin
