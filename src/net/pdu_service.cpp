#include "net/pdu_service.h"

#include <exception>

#include "dicom/uid.h"
#include "net/pdu_limits.h"
#include "service/log.h"

namespace tarvelin {

namespace {

// Transfer syntaxes that make an accepted context the requestor's default.
bool IsDefaultCandidate(const std::string& uid) {
  for (const char* candidate :
       {UID_JPEG2000Lossless, UID_JPEGLossless, UID_MPEG2MainProfile, UID_MPEG4AVCHighProfile,
        UID_ExplicitVRLittleEndian, UID_ImplicitVRLittleEndian, UID_JPEG2000, UID_JPEGBaseline})
    if (uid == candidate) return true;
  return false;
}

}  // namespace

PDU_Service::PDU_Service() {
  Link.SetIncomingEndian(Buffer::BigEndianOrder);
  Link.SetOutgoingEndian(Buffer::BigEndianOrder);
}

PDU_Service::~PDU_Service() = default;  // the Link's socket closes the connection

void PDU_Service::Close() {
  SendQueued();
  Link.Sock.Close();
  Link.ClearQueues();
  pdata.Length = 0;
}

void PDU_Service::CloseInOrder(int waitMs) {
  SendQueued();
  Link.Sock.CloseInOrder(waitMs);
  Link.ClearQueues();
  pdata.Length = 0;
}

void PDU_Service::Abort(AbortSource source, AbortReason reason) {
  abortRQ.Set(source, reason);
  if (Link.Sock.Connected) abortRQ.Write(Link);
  Close();
}

bool PDU_Service::Connect(const std::string& host, const std::string& port) {
  try {
    pdata.Length = 0;
    UserInformation& info = assocRQ.UserInfo;
    info.SetMaximumLength(OurMaximumLength);
    info.SetImpClassUID(ImplementationClassUID());
    info.SetImpVersionName(ImplementationVersionName);
    info.SetUserIdentity(UserName, Passcode);
    if (!Link.Sock.Connect(host, port)) {
      WriteLog("ERROR, PDU_Service::Connect, Socket Level Error");
      return false;
    }
    if (Tls && !Link.Sock.StartTls(*Tls, Link.Sock.TimeOut > 0 ? Link.Sock.TimeOut : 30)) return false;
    WriteDebugLog("INFO, Connected to: " + host + ":" + port);
    if (!assocRQ.Write(Link)) {
      WriteLog("ERROR, Association RQ failed!");
      Close();
      return false;
    }
    std::uint8_t type = 0;
    Link.Read8(type);
    WriteDebugLog("INFO, PDU_Service::Connect, Item Type: " + std::to_string(type));
    if (type == 0x02) {
      WriteDebugLog("INFO, Association Accept::ReadDynamic");
      if (!assocAC.Read(Link)) {
        WriteLog("ERROR, PDU_Service::Connect, assocAC.Read()");
        Abort(AbortSource::ServiceProvider, AbortReason::InvalidParameterValue);
        return false;
      }
      peerMaximumLength_ = assocAC.UserInfo.MaxSubLength.MaximumLength;
      if (!InterogateAAssociateAC()) {
        Close();
        WriteLog("ERROR, PDU_Service::Connect, InterogateAAssociateAC failed");
        return false;
      }
      return true;
    }
    if (type == 0x03) {
      WriteLog("ERROR, Association Rejected...");
      assocRJ.Read(Link);
    } else {
      WriteLog("ERROR, Corrupt Transmission...");
    }
    Close();
    return false;
  } catch (const std::exception&) {
    WriteLog("ERROR, PDU_Service::Connect, indeterminate error");
    return false;
  }
}

bool PDU_Service::InterogateAAssociateAC() {
  if (assocAC.PresContextAccepts.empty())
    WriteLog("WARNING, assocAC.PresContextAccepts Count==0");
  AcceptedPresentationContexts.clear();
  bool haveDefault = false;
  for (PresentationContextAccept accept : assocAC.PresContextAccepts) {
    if (accept.Result != PresentationContextAccept::Accepted) continue;
    // The accept does not name its abstract syntax: take it from our request.
    for (const PresentationContext& pc : assocRQ.PresContexts)
      if (pc.PresentationContextID == accept.PresentationContextID)
        accept.SetAbstractSyntax(pc.AbsSyntax.UID);
    AcceptedPresentationContexts.push_back(accept);
    WriteDebugLog("Presentation Context Accept ID: " +
                  std::to_string(accept.PresentationContextID) +
                  ", Transfer Syntax: " + accept.TrnSyntax.UID);
    if (!haveDefault && IsDefaultCandidate(accept.TrnSyntax.UID)) {
      haveDefault = true;
      pdata.StoredPresentationContextID = accept.PresentationContextID;
    }
  }
  if (!haveDefault) {
    WriteLog("ERROR, Transfer Syntax is Empty");
    return false;
  }
  if (AcceptedPresentationContexts.empty()) {
    WriteLog("ERROR, There are no Accepted Presentation Contexts");
    return false;
  }
  return true;
}

bool PDU_Service::Release() {
  pdata.Length = 0;
  if (Link.Sock.Connected) {
    releaseRQ.Write(Link);
    std::uint8_t type = 0;
    if (Link.Read8(type)) releaseRP.Read(Link);
    Close();
  }
  return true;
}

bool PDU_Service::GetTransferSyntaxUID(std::uint8_t contextID, std::string& uid) const {
  for (const PresentationContextAccept& accept : AcceptedPresentationContexts) {
    if (accept.PresentationContextID != contextID) continue;
    uid = accept.TrnSyntax.UID;
    return true;
  }
  return false;
}

std::string PDU_Service::GetAbstractSyntaxUID() const {
  for (const PresentationContextAccept& accept : AcceptedPresentationContexts)
    if (accept.PresentationContextID == pdata.StoredPresentationContextID)
      return accept.AbsSyntax.UID;
  return "";
}

}  // namespace tarvelin
