#include "hl7/hl7_ack.h"

#include <cstdio>
#include <ctime>

#include "platform/clock.h"
#include "service/node_number.h"
#include "service/settings.h"
#include "service/text.h"

namespace tarvelin {

std::atomic<int> AckControlCounter{0};

namespace {

std::string Stamp(const char* format) {
  std::tm t = LocalTime(Now());
  char text[24];
  std::strftime(text, sizeof text, format, &t);
  return text;
}

int TakeCounter() {
  int value = AckControlCounter.load();
  while (!AckControlCounter.compare_exchange_weak(value, (value + 1) % 1000)) {
  }
  return value;
}

const char* CodeText(AckCode ack) {
  switch (ack) {
    case AckCode::AA: return "AA";
    case AckCode::AE: return "AE";
    case AckCode::AR: break;
  }
  return "AR";
}

// Text inside a component of a component: the five delimiters escaped.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '|': out += "\\F\\"; break;
      case '^': out += "\\S\\"; break;
      case '&': out += "\\T\\"; break;
      case '~': out += "\\R\\"; break;
      case '\\': out += "\\E\\"; break;
      case '\r': case '\n': out += ' '; break;
      default: out += c;
    }
  }
  return out;
}

// ERR-1 (segment ^ sequence ^ field ^ code & text & table): the form v2.3.1
// receivers read, and later versions still accept.
std::string ErrLine(const OrderRefusal& refused) {
  const std::string which = refused.order > 0 ? "order " + std::to_string(refused.order) +
                                                    (refused.accession.empty() ? "" : " (accession " + refused.accession + ")") + ": "
                                              : "";
  const int sequence = refused.order > 0 && refused.segment != "PID" ? refused.order : 1;
  return "ERR|" + refused.segment + "^" + std::to_string(sequence) + "^" +
         (refused.field > 0 ? std::to_string(refused.field) : "") + "^" + std::to_string(refused.code) + "&" +
         Escaped(which + refused.reason) + "&HL70357\r";
}

}  // namespace

std::string AckNames(const std::string& received) {
  // The header is the first segment; later segments are never taken for it.
  const std::string header = received.substr(0, received.find_first_of("\r\n"));
  return ServerSettings.HL7Application + "|" + ServerSettings.HL7Facility + "|" + Piece(header, "|", 3) + "|" +
         Piece(header, "|", 4);
}

std::string NextAckControlId() {
  const int node = NodeNumber();
  if (node == 0) return Stamp("%y%m%d%H%M") + std::to_string(TakeCounter());
  // The counter in three digits, so that where the node number ends is plain:
  // node 1 with 234 and node 12 with 34 would otherwise both read 1234.
  char counter[8];
  std::snprintf(counter, sizeof counter, "%03d", TakeCounter());
  return Stamp("%y%m%d%H%M") + std::to_string(node) + counter;
}

std::string HL7Timestamp() { return Stamp("%Y%m%d%H%M%S"); }

std::string BuildAck(const OrderAnswer& answer, const std::string& received, const std::string& ackControlId,
                     const std::string& timestamp, const std::string& charsetTerm) {
  // MSH-13 to MSH-17 stay empty; MSH-18 only when the message named its set.
  const std::string charset = charsetTerm.empty() ? "" : "||||||" + charsetTerm;
  std::string ack = "MSH|^~\\&|" + AckNames(received) + "|" + timestamp + "||ACK^O01|" + ackControlId +
                    "|P|2.3.1" + charset + "\rMSA|" + CodeText(answer.ack) + "|" + ReceivedControlId(received);
  if (answer.ack != AckCode::AA) ack.append("|").append(Escaped(answer.text));
  ack.push_back('\r');
  for (const OrderRefusal& refused : answer.refused) ack += ErrLine(refused);
  return ack;
}

std::string FrameMllp(const std::string& text) { return "\x0b" + text + "\x1c\x0d"; }

std::string ReceivedControlId(const std::string& message) { return Piece(message, "|", 10); }

}  // namespace tarvelin
