#include "hl7/hl7_server.h"

#include <memory>

#include "hl7/hl7_ack.h"
#include "hl7/hl7_parser.h"
#include "hl7/mllp_framer.h"
#include "hl7/received_message.h"
#include "service/audit_actor.h"
#include "service/log.h"
#include "service/log_peer.h"
#include "service/settings.h"
#include "service/text.h"

namespace tarvelin {

THL7Server::THL7Server(int port, const std::string& programFolder, const std::string& extra)
    : programFolder_(programFolder), extra_(extra) {
  server_.SetDefaultPort(port);
  server_.SetOnExecute([this](TcpConnection& connection) { HandleConnection(connection); });
  server_.SetOnError([](const std::string& text) { WriteLog("ERROR, THL7Server, " + text); });
  const int limit = ServerSettings.MaxHL7Connections;
  server_.SetConnectionLimit(limit, "", [limit](const std::string& peer) {
    WriteLog("WARNING, THL7Server, connection from " + peer + " refused: " + std::to_string(limit) +
             " connections open (MaxHL7Connections)");
  });
  server_.Activate();
}

THL7Server::~THL7Server() { server_.Deactivate(); }

namespace {

// Why the sender of `message`, received from `peer`, may not send orders;
// "" when it may.
std::string SenderRefusal(const std::string& message, const std::string& peer) {
  const SenderAllowList& allowed = ServerSettings.HL7Senders;
  if (!allowed.AddressAllowed(peer)) return "sender address " + peer + " not allowed";
  const std::string header = message.substr(0, message.find_first_of("\r\n"));
  const std::string application = Piece(header, "|", 3), facility = Piece(header, "|", 4);
  if (!allowed.SenderAllowed(application, facility))
    return "sending application " + application + " facility " + facility + " not allowed";
  return "";
}

}  // namespace

std::string AnswerHL7(const std::string& bytes, const std::string& peer) {
  const ReceivedMessage message = ReadReceivedMessage(bytes);
  WriteLog(message.logged);
  // The sender as its header names it: MSH-3 sending application ^ MSH-4 facility.
  const std::string header = message.text.substr(0, message.text.find_first_of("\r\n"));
  const AuditActorScope actor({"HL7 sender", Piece(header, "|", 3) + "^" + Piece(header, "|", 4), peer});
  const std::string timestamp = HL7Timestamp();
  OrderAnswer answer;
  if (const std::string refusal = SenderRefusal(message.text, peer); !refusal.empty()) {
    WriteLog("WARNING, THL7Server, message refused and not stored: " + refusal);
    answer.ack = AckCode::AR;
    answer.text = refusal;
  } else {
    answer = ProcessHL7(message);
  }
  // Written in the message's own set, which MSH-18 names back to the sender.
  return EncodeForSender(BuildAck(answer, message.text, NextAckControlId(), timestamp, message.charsetTerm), message);
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
  const std::string peer = connection.PeerAddress();
  const PeerLogScope logPeer(peer);
  MllpFramer framer;
  std::string bytes;
  std::string message;
  for (;;) {
    // A begun frame has less time to finish than a quiet connection to speak.
    const bool inFrame = framer.InFrame();
    const int waitSeconds = inFrame ? ServerSettings.HL7FrameTimeout : ServerSettings.HL7IdleTimeout;
    const TcpConnection::Wait got = connection.ReceiveWithin(bytes, waitSeconds * 1000);
    if (got == TcpConnection::Wait::Closed) return;
    if (got == TcpConnection::Wait::TimedOut) {
      WriteLog(inFrame ? "WARNING, THL7Server, incomplete message not finished within " + std::to_string(waitSeconds) +
                             " seconds (HL7FrameTimeout), dropped, connection closed"
                       : "INFO, THL7Server, connection silent for " + std::to_string(waitSeconds) +
                             " seconds (HL7IdleTimeout), closed");
      return;
    }
    framer.Feed(bytes);
    bytes.clear();
    if (framer.TakeAbandoned() > 0)
      WriteLog("WARNING, THL7Server, incomplete message from " + connection.PeerAddress() +
               " dropped: a new start block came before its end block");
    // One acknowledgement per message, in arrival order, each written only
    // after the message's database work has finished.
    while (framer.Next(message))
      if (!connection.Send(FrameMllp(AnswerHL7(message, peer)))) return;
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

}  // namespace tarvelin
