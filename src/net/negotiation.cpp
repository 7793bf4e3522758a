// The acceptor side of association set-up: reading the request and choosing
// a transfer syntax for each proposed presentation context.
#include <algorithm>
#include <vector>

#include "dicom/uid.h"
#include "net/pdu_limits.h"
#include "net/pdu_service.h"
#include "service/caller_allow_list.h"
#include "service/log.h"

namespace tarvelin {

namespace {

// The abstract syntaxes this server serves. Anything else is refused at
// negotiation: accepting a context that no request on it can be answered
// only moves the failure to a dropped connection later.
constexpr const char* ServedAbstractSyntaxes[] = {UID_Verification, UID_ModalityWorklistFind, UID_MPPS};

bool IsServed(const std::string& uid) {
  return std::any_of(std::begin(ServedAbstractSyntaxes), std::end(ServedAbstractSyntaxes),
                     [&](const char* served) { return uid == served; });
}

// How long a rejected peer has to read the rejection and close its side.
constexpr int RejectionCloseWaitMs = 2000;

bool Offered(const PresentationContext& pc, const std::string& uid) {
  return std::any_of(pc.TrnSyntax.begin(), pc.TrnSyntax.end(),
                     [&](const UIDitem& ts) { return ts.UID == uid; });
}

// Whether the caller's rights cover a context's service; services the
// allow-list does not name (verification) need no right.
bool RightsCover(const CallerRights& rights, const std::string& abstract) {
  if (abstract == UID_MPPS) return rights.Mpps;
  if (abstract == UID_ModalityWorklistFind) return rights.Query;
  return true;
}

// The served classes exchange uncompressed data sets only: "" when neither
// little endian syntax is offered.
std::string ChooseUncompressedSyntax(const PresentationContext& pc) {
  if (Offered(pc, UID_ExplicitVRLittleEndian)) return UID_ExplicitVRLittleEndian;
  if (Offered(pc, UID_ImplicitVRLittleEndian)) return UID_ImplicitVRLittleEndian;
  return "";
}

// The first PDU of a connection must be an A-ASSOCIATE-RQ; any other known
// PDU type is unexpected, an unknown one unrecognized.
AbortReason FirstPduFault(std::uint8_t type) {
  return type >= 0x02 && type <= 0x07 ? AbortReason::UnexpectedPdu : AbortReason::UnrecognizedPdu;
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
  const bool typeRead = Link.Read8(assocRQ.ItemType);
  if (typeRead && assocRQ.ItemType != 0x01) {
    WriteLog("ERROR, PDU_Service::Multiplex, PDU type " + std::to_string(assocRQ.ItemType) +
             " before the A-ASSOCIATE-RQ");
    Abort(AbortSource::ServiceProvider, FirstPduFault(assocRQ.ItemType));
    return false;
  }
  const bool requestRead = typeRead && assocRQ.Read(Link);
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
    Abort(AbortSource::ServiceProvider, AbortReason::InvalidParameterValue);
    return false;
  }
  if (!InterogateAAssociateRQ()) {
    WriteLog("ERROR, PDU_Service::Multiplex InterogateAAsociateRQ()");
    // The peer must be able to read the rejection before the connection ends.
    CloseInOrder(RejectionCloseWaitMs);
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
  CallerRights rights;
  if (Callers) {
    const auto admitted = Callers->Admit(assocRQ.GetCallingApTitle(), PeerAddress);
    if (!admitted) {
      WriteLog("WARNING, association from calling AE " + assocRQ.GetCallingApTitle() + " at " + PeerAddress +
               " rejected: not on the list of callers (callers.txt)");
      // Rejected-permanent, by the service user, calling AE title not recognised.
      assocRJ.Result = 1;
      assocRJ.Source = 1;
      assocRJ.Reason = 3;
      assocRJ.Write(Link);
      return false;
    }
    rights = *admitted;
  }
  assocAC.AppContext = assocRQ.AppContext;
  peerMaximumLength_ = assocRQ.UserInfo.MaxSubLength.MaximumLength;
  if (assocRQ.PresContexts.empty())
    WriteLog("WARNING, PDU_Service::InterogateAAssociateRQ, number of Presentationt Context is zero");

  AcceptedPresentationContexts.clear();
  assocAC.PresContextAccepts.clear();
  // Our own user information goes into every accept, so its length always
  // matches the sub-items written.
  assocAC.UserInfo = UserInformation();
  assocAC.UserInfo.SetMaximumLength(OurMaximumLength);
  assocAC.UserInfo.SetImpClassUID(ImplementationClassUID());
  assocAC.UserInfo.SetImpVersionName(ImplementationVersionName);
  for (const PresentationContext& pc : assocRQ.PresContexts) {
    const std::string id = std::to_string(pc.PresentationContextID);
    const std::string& abstract = pc.AbsSyntax.UID;
    PresentationContextAccept accept;
    accept.PresentationContextID = pc.PresentationContextID;
    WriteDebugLog("INFO, PDU_Service::InterogateAAssociateRQ, Offered Presentation Context, ID: " +
                  id + ", Abstract Syntax: " + abstract);
    accept.SetAbstractSyntax(abstract);
    const std::string chosen = IsServed(abstract) ? ChooseUncompressedSyntax(pc) : "";
    const RoleSelectionItem* role = assocRQ.UserInfo.RoleSelectionFor(abstract);
    if (!IsServed(abstract)) {
      accept.Result = PresentationContextAccept::AbstractSyntaxNotSupported;
    } else if (chosen.empty()) {
      accept.Result = PresentationContextAccept::TransferSyntaxesNotSupported;
    } else if (role && role->SCURole != 1) {
      // This server is only ever the provider: a requestor that does not
      // offer to be the user of the class has nothing to ask it.
      WriteLog("WARNING, PDU_Service::InterogateAAssociateRQ, context " + id +
               " refused: the requestor does not take the SCU role");
      accept.Result = PresentationContextAccept::UserRejection;
    } else if (!RightsCover(rights, abstract)) {
      WriteLog("WARNING, PDU_Service::InterogateAAssociateRQ, calling AE " + assocRQ.GetCallingApTitle() +
               " may not use " + abstract + " (callers.txt), presentation context " + id + " refused");
      accept.Result = PresentationContextAccept::UserRejection;
    } else {
      WriteDebugLog("INFO, PDU_Service::InterogateAAssociateRQ, Valid Presentation Context ID: " + id +
                    ", Transfer Syntax: " + chosen);
      accept.Result = PresentationContextAccept::Accepted;
      accept.SetTransferSyntax(chosen);
      AcceptedPresentationContexts.push_back(accept);
      // A proposed role selection is answered: the requestor as user only.
      if (role && !assocAC.UserInfo.RoleSelectionFor(abstract))
        assocAC.UserInfo.AddRoleSelection(abstract, true, false);
    }
    assocAC.PresContextAccepts.push_back(accept);
  }

  if (!AcceptedPresentationContexts.empty()) return assocAC.Write(Link);

  WriteLog("WARNING, PDU_Service::InterogateAAssociateRQ, no Valid Presentation Contexts, " +
           assocRQ.GetCallingApTitle());
  for (const PresentationContext& pc : assocRQ.PresContexts)
    WriteLog("INFO, PDU_Service::InterogateAAssociateRQ, Abstract Syntax: " + pc.AbsSyntax.UID);
  assocAC.Write(Link);
  return false;
}

}  // namespace tarvelin
