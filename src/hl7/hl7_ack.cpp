#include "hl7/hl7_ack.h"

#include <ctime>

#include "platform/clock.h"
#include "service/settings.h"
#include "service/text.h"

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

std::string MsaLine(int result, const std::string& controlId) {
  switch (result) {
    case 0: return "MSA|AA|" + controlId;
    case 1: return "MSA|AE|" + controlId + "|WARNING - NW - Duplicate Accession Number";
    case 2: return "MSA|AE|" + controlId + "|WARNING - CA - Accession Number does not exist";
    case 3: return "MSA|AE|" + controlId + "|WARNING - XO - Accession Number does not exist";
    default: return "MSA|AE|" + controlId + "|ERROR";
  }
}

}  // namespace

std::string AckNames(const std::string& received) {
  // The header is the first segment; later segments are never taken for it.
  const std::string header = received.substr(0, received.find_first_of("\r\n"));
  return ServerSettings.HL7Application + "|" + ServerSettings.HL7Facility + "|" + Piece(header, "|", 3) + "|" +
         Piece(header, "|", 4);
}

std::string NextAckControlId() { return Stamp("%y%m%d%H%M") + std::to_string(TakeCounter()); }

std::string HL7Timestamp() { return Stamp("%Y%m%d%H%M%S"); }

std::string BuildAck(int result, const std::string& received, const std::string& ackControlId,
                     const std::string& timestamp) {
  return "MSH|^~\\&|" + AckNames(received) + "|" + timestamp + "||ACK^O01|" + ackControlId + "|P|2.3.1\r" +
         MsaLine(result, ReceivedControlId(received)) + "\r";
}

std::string FrameMllp(const std::string& text) { return "\x0b" + text + "\x1c\x0d"; }

std::string ReceivedControlId(const std::string& message) { return Piece(message, "|", 10); }
