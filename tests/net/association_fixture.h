#pragma once
// An acceptor PDU_Service set up over a socket pair, with the test playing the
// requestor through raw bytes on the other end.
#include <cstdint>
#include <string>
#include <vector>

#include "net/pdu_service.h"
#include "net_test_support.h"

namespace tarvelin {

namespace nettest {

inline const std::string VerificationUID = "1.2.840.10008.1.1";
inline const std::string WorklistUID = "1.2.840.10008.5.1.4.31";
inline const std::string ImplicitUID = "1.2.840.10008.1.2";
inline const std::string ExplicitUID = "1.2.840.10008.1.2.1";
// An A-ABORT with this source and reason.
inline std::vector<std::uint8_t> AbortPDU(std::uint8_t source, std::uint8_t reason) {
  return {7, 0, 0, 0, 0, 4, 0, 0, source, reason};
}

// Context 1: Verification in implicit VR; context 3: worklist in explicit VR.
struct AcceptedAssociation {
  SocketPair pair;
  PDU_Service service;
  bool ready = false;

  explicit AcceptedAssociation(std::uint32_t peerMaximum = 16384) {
    Bytes items;
    items.append(RequestContext(1, VerificationUID, {ImplicitUID}))
        .append(RequestContext(3, WorklistUID, {ExplicitUID}))
        .append(UserInfoItem(MaxLengthSubItem(peerMaximum)));
    WriteAll(pair.theirs, AssociateRQ(items).data);
    service.Link.Sock.SetTimeout(5);
    ready = service.Multiplex(pair.ours) && ReadPDU(pair.theirs).size() > 6;
  }
};

}  // namespace nettest

}  // namespace tarvelin
