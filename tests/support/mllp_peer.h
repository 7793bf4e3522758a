#pragma once
// An HL7 sending system over a plain socket, for end-to-end and load tests:
// framed messages out, framed acknowledgements back.
#include <optional>
#include <string>

namespace tarvelin {

// The message in its MLLP envelope: 0x0B + message + 0x1C 0x0D.
std::string Framed(const std::string& message);

// A client connection to an HL7 listener.
class MllpPeer {
 public:
  explicit MllpPeer(int port);
  ~MllpPeer();
  MllpPeer(const MllpPeer&) = delete;
  MllpPeer& operator=(const MllpPeer&) = delete;

  bool Connected() const { return fd_ >= 0; }
  bool Send(const std::string& bytes);
  // The content of the next framed answer (without 0x0B and 0x1C 0x0D), or
  // nothing when none arrives within the time.
  std::optional<std::string> ReadAck(int timeoutMs = 10000);
  // True when the server closed the connection (and sent nothing more) within the time.
  bool ClosedByServer(int timeoutMs = 5000);

 private:
  int fd_ = -1;
  std::string pending_;
};

// An ORM^O01 new order (NW) for a CT step of patient `accession` with that
// accession number, scheduled on `date` (yyyymmdd; "" leaves the day to the
// server), under message control ID `controlId`; not framed.
std::string NewOrderMessage(const std::string& controlId, const std::string& accession, const std::string& date = "");

// MSA-1 and MSA-2 (and the rest) of an acknowledgement: its second segment.
std::string MsaSegment(const std::string& ack);

}  // namespace tarvelin
