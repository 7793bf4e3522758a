#pragma once
// The HL7 listener: takes ORM^O01 orders over TCP (one thread per connection)
// and answers every message with an ACK^O01 once its database work is done.
// At most ServerSettings.MaxHL7Connections connections are served at once
// (one more is closed unanswered); a connection silent for HL7IdleTimeout
// seconds, or with a begun frame unfinished for HL7FrameTimeout seconds, is
// closed. Messages from an address or sender that ServerSettings.HL7Senders
// does not allow are answered AR and not stored.
#include <string>

#include "platform/tcp_server.h"

namespace tarvelin {

class THL7Server {
 public:
  // Listens on `port` at once. The two texts (the program folder and an
  // empty text at service start) are kept but not used. Throws
  // std::runtime_error when the port cannot be listened on.
  THL7Server(int port, const std::string& programFolder, const std::string& extra);
  // Closes the listening socket and the open connections and waits for
  // their threads.
  ~THL7Server();
  THL7Server(const THL7Server&) = delete;
  THL7Server& operator=(const THL7Server&) = delete;

  // The port actually listened on (differs from the given one only for 0).
  int Port() const { return server_.Port(); }

 private:
  void HandleConnection(TcpConnection& connection);

  std::string programFolder_;
  std::string extra_;
  TcpServer server_;
};

// The acknowledgement for the bytes of one received message from `peer` (an
// address), after its database work: reads the message in its character set
// and logs it, refuses it (AR) when its sender is not allowed, otherwise runs
// it through the order parser; the ACK text is written in the message's set
// and names it in MSH-18 as the message did.
std::string AnswerHL7(const std::string& bytes, const std::string& peer);

// Creates the process-wide listener. Throws as the constructor does.
void StartHL7Listener(int port, const std::string& programFolder);

// Closes the listener and every open HL7 connection and waits for their
// threads; a message being processed gets its database work and answer first.
void StopHL7Listener();

}  // namespace tarvelin
