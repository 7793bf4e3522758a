#include "hl7/hl7_server.h"

#include <memory>

#include "hl7/hl7_ack.h"
#include "hl7/hl7_parser.h"
#include "hl7/mllp_framer.h"
#include "service/log.h"

THL7Server::THL7Server(int port, const std::string& programFolder, const std::string& extra)
    : programFolder_(programFolder), extra_(extra) {
  server_.SetDefaultPort(port);
  server_.SetOnExecute([this](TcpConnection& connection) { HandleConnection(connection); });
  server_.SetOnError([](const std::string& text) { WriteLog("ERROR, THL7Server, " + text); });
  server_.Activate();
}

THL7Server::~THL7Server() { server_.Deactivate(); }

std::string AnswerHL7(const std::string& message) {
  WriteLog(message);
  const std::string timestamp = HL7Timestamp();
  return BuildAck(ProcessHL7(message), message, NextAckControlId(), timestamp);
}

namespace {
OrderAnswer TooLongAnswer() {
  OrderAnswer answer;
  answer.ack = AckCode::AE;
  answer.text = "ERROR";
  answer.refused.push_back({0, "", "MSH", 0, 207, "message too long"});
  return answer;
}
}  // namespace

void THL7Server::HandleConnection(TcpConnection& connection) {
  MllpFramer framer;
  std::string bytes;
  std::string message;
  while (connection.Receive(bytes)) {
    framer.Feed(bytes);
    bytes.clear();
    if (framer.TakeAbandoned() > 0)
      WriteLog("WARNING, THL7Server, incomplete message from " + connection.PeerAddress() +
               " dropped: a new start block came before its end block");
    // One acknowledgement per message, in arrival order, each written only
    // after the message's database work has finished.
    while (framer.Next(message))
      if (!connection.Send(FrameMllp(AnswerHL7(message)))) return;
    if (framer.Overflowed()) {
      WriteLog("ERROR, THL7Server, message from " + connection.PeerAddress() + " exceeds " +
               std::to_string(MllpFramer::MaxFrame) + " bytes without an end block, connection closed");
      connection.Send(FrameMllp(
          BuildAck(TooLongAnswer(), framer.Partial(), NextAckControlId(), HL7Timestamp())));
      connection.Finish(2000);
      return;
    }
  }
}

namespace {
// The running listener (HL7Listener of the service), or none.
std::unique_ptr<THL7Server> listener;
}  // namespace

void StartHL7Listener(int port, const std::string& programFolder) {
  listener.reset();
  listener = std::make_unique<THL7Server>(port, programFolder, "");
}

void StopHL7Listener() { listener.reset(); }
