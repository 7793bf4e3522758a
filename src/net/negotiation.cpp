// The acceptor side of association set-up: reading the request and choosing
// a transfer syntax for each proposed presentation context.
#include <algorithm>
#include <vector>

#include "dicom/uid.h"
#include "net/pdu_limits.h"
#include "net/pdu_service.h"
#include "service/log.h"

namespace {

constexpr const char* UID_NonStandardLastResort = "1.2.40.0.13.1.1.2.4.94";

bool Offered(const PresentationContext& pc, const std::string& uid) {
  return std::any_of(pc.TrnSyntax.begin(), pc.TrnSyntax.end(),
                     [&](const UIDitem& ts) { return ts.UID == uid; });
}

// Transfer syntax for an image or video context, or "" when none is offered.
std::string ChooseImageSyntax(const PresentationContext& pc, bool preferJPEG2000) {
  const std::string& abstract = pc.AbsSyntax.UID;
  std::string chosen;
  if (preferJPEG2000 && Offered(pc, UID_JPEG2000)) chosen = UID_JPEG2000;
  // These classes are mostly lossy captures already: keep them JPEG.
  if ((abstract == UID_UltrasoundMultiFrameImageStorage ||
       abstract == UID_SecondaryCaptureImageStorage) &&
      Offered(pc, UID_JPEGBaseline))
    chosen = UID_JPEGBaseline;
  if (!chosen.empty()) return chosen;
  for (const char* uid : {UID_JPEG2000Lossless, UID_JPEGLossless, UID_MPEG2MainProfile,
                          UID_MPEG4AVCHighProfile, UID_JPEG2000, UID_JPEGBaseline,
                          UID_ExplicitVRLittleEndian, UID_ImplicitVRLittleEndian, UID_RLELossless,
                          UID_NonStandardLastResort})
    if (Offered(pc, uid)) return uid;
  return "";
}

// Transfer syntax for a service or non-image context: uncompressed only.
std::string ChooseUncompressedSyntax(const PresentationContext& pc) {
  if (Offered(pc, UID_ExplicitVRLittleEndian)) return UID_ExplicitVRLittleEndian;
  if (Offered(pc, UID_ImplicitVRLittleEndian)) return UID_ImplicitVRLittleEndian;
  return "";
}

}  // namespace

bool PDU_Service::Multiplex(int handle) {
  if (Link.Sock.Connected) Close();
  Link.Sock.Attach(handle);
  Link.Sock.SetReadDeadline(AssociationTimeout);
  // The handshake counts against the same ARTIM time as the request.
  if (Tls && !Link.Sock.StartTls(*Tls, AssociationTimeout)) {
    Link.Sock.SetReadDeadline(0);
    return false;
  }
  const bool requestRead = Link.Read8(assocRQ.ItemType) && assocRQ.Read(Link);
  const bool timedOut = !requestRead && Link.Sock.DeadlinePassed();
  Link.Sock.SetReadDeadline(0);
  if (timedOut) {
    // ARTIM expiry: the transport connection is closed, nothing is sent.
    WriteLog("ERROR, PDU_Service::Multiplex, no complete A-ASSOCIATE-RQ within " +
             std::to_string(AssociationTimeout) + " seconds, connection closed");
    Close();
    return false;
  }
  if (!requestRead) {
    WriteLog("ERROR, PDU_Service::Multiplex, assocRQ.Read()");
    Abort();
    return false;
  }
  if (!InterogateAAssociateRQ()) {
    WriteLog("ERROR, PDU_Service::Multiplex InterogateAAsociateRQ()");
    Close();
    return false;
  }
  return true;
}

bool PDU_Service::InterogateAAssociateRQ() {
  std::copy(std::begin(assocRQ.CalledApTitle), std::end(assocRQ.CalledApTitle),
            assocAC.CalledApTitle);
  std::copy(std::begin(assocRQ.CallingApTitle), std::end(assocRQ.CallingApTitle),
            assocAC.CallingApTitle);
  WriteDebugLog("INFO, PDU_Service::InterogateAAssociateRQ, Called Ap. Title: " +
                assocRQ.GetCalledApTitle());
  WriteDebugLog("INFO, PDU_Service::InterogateAAssociateRQ, Calling Ap. Title: " +
                assocRQ.GetCallingApTitle());
  assocAC.AppContext = assocRQ.AppContext;
  peerMaximumLength_ = assocRQ.UserInfo.MaxSubLength.MaximumLength;
  if (assocRQ.PresContexts.empty())
    WriteLog("WARNING, PDU_Service::InterogateAAssociateRQ, number of Presentationt Context is zero");

  AcceptedPresentationContexts.clear();
  assocAC.PresContextAccepts.clear();
  for (const PresentationContext& pc : assocRQ.PresContexts) {
    const std::string id = std::to_string(pc.PresentationContextID);
    const std::string& abstract = pc.AbsSyntax.UID;
    PresentationContextAccept accept;
    accept.PresentationContextID = pc.PresentationContextID;
    accept.Result = PresentationContextAccept::NotAccepted;
    WriteDebugLog("INFO, PDU_Service::InterogateAAssociateRQ, Offered Presentation Context, ID: " +
                  id + ", Abstract Syntax: " + abstract);
    std::string chosen;
    const char* validLine = nullptr;
    if (IsImageStorage(abstract) || IsVideoStorage(abstract)) {
      accept.SetAbstractSyntax(abstract);
      chosen = ChooseImageSyntax(pc, PreferJPEG2000);
      validLine = "INFO, PDU_Service::InterogateAAssociateRQ, Valid Presentation Context, ID: ";
    } else if (IsNonImageStorage(abstract) || IsServiceClass(abstract)) {
      accept.SetAbstractSyntax(abstract);
      chosen = ChooseUncompressedSyntax(pc);
      validLine = "INFO, PDU_Service::InterogateAAssociateRQ, Valid Presentation Context ID: ";
    }
    if (!chosen.empty()) {
      WriteDebugLog(validLine + id + ", Transfer Syntax: " + chosen);
      accept.Result = PresentationContextAccept::Accepted;
      accept.SetTransferSyntax(chosen);
      AcceptedPresentationContexts.push_back(accept);
    }
    assocAC.PresContextAccepts.push_back(accept);
  }

  // Our own user information goes into every accept, so its length always
  // matches the sub-items written.
  assocAC.UserInfo = UserInformation();
  assocAC.UserInfo.SetMaximumLength(OurMaximumLength);
  assocAC.UserInfo.SetImpClassUID(ImplementationClassUID());
  assocAC.UserInfo.SetImpVersionName(ImplementationVersionName);

  if (!AcceptedPresentationContexts.empty()) return assocAC.Write(Link);

  WriteLog("WARNING, PDU_Service::InterogateAAssociateRQ, no Valid Presentation Contexts, " +
           assocRQ.GetCallingApTitle());
  for (const PresentationContext& pc : assocRQ.PresContexts)
    WriteLog("INFO, PDU_Service::InterogateAAssociateRQ, Abstract Syntax: " + pc.AbsSyntax.UID);
  assocAC.Write(Link);
  return false;
}
