#include "net/syslog_tls_stream.h"

#include <cstring>
#include <memory>
#include <string>

#include "net/socket.h"
#include "net/tls_context.h"
#include "service/settings.h"
#include "service/syslog_stream.h"

namespace tarvelin {

namespace {
// Short: a collector that is away must not hold the sender thread (and so
// a shutdown) for long; the sender tries again later.
constexpr int kSeconds = 5;

class SyslogTlsStream : public SyslogStream {
 public:
  explicit SyslogTlsStream(std::unique_ptr<TlsContext> context) : context_(std::move(context)) {}

  bool Connect(const std::string& host, const std::string& port, std::string& error) override {
    socket_ = std::make_unique<Socket>();
    socket_->TimeOut = kSeconds;
    if (!socket_->Connect(host, port)) {
      error = "no connection to " + host + ":" + port + ": " + std::strerror(socket_->LastError);
      socket_.reset();
      return false;
    }
    if (!socket_->StartTls(*context_, kSeconds)) {
      error = "TLS handshake with " + host + ":" + port + " failed";
      socket_.reset();
      return false;
    }
    return true;
  }

  bool Write(const std::string& bytes) override {
    return socket_ && socket_->SendBinary(bytes.data(), bytes.size());
  }

  void Disconnect() override {
    if (socket_) socket_->CloseInOrder(1000);
    socket_.reset();
  }

 private:
  std::unique_ptr<TlsContext> context_;
  std::unique_ptr<Socket> socket_;
};
}  // namespace

void RegisterSyslogTls() {
  SetSyslogTlsFactory([](std::string& error) -> std::unique_ptr<SyslogStream> {
    const ServerSettingsRecord& s = ServerSettings;
    auto context = TlsContext::Create(
        TlsContext::Side::Requestor,
        {InstanceFile(s.AuditSyslogTLSCert), InstanceFile(s.AuditSyslogTLSKey), InstanceFile(s.AuditSyslogTLSCAFile)},
        error);
    if (!context) return nullptr;
    return std::make_unique<SyslogTlsStream>(std::move(context));
  });
}

}  // namespace tarvelin
