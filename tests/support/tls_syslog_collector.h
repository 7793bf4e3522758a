#pragma once
// A syslog collector over TLS (RFC 5425) for the audit tests: a loopback
// port served by OpenSSL directly (not by the server's own TLS code), with
// a certificate and key of the test's choice, asking the sender for a
// client certificate signed by `clientAuthority`. It takes one connection
// at a time and keeps every byte that arrives.
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace tarvelin {

class TlsSyslogCollector {
 public:
  TlsSyslogCollector(const std::string& certificate, const std::string& key, const std::string& clientAuthority);
  ~TlsSyslogCollector();
  TlsSyslogCollector(const TlsSyslogCollector&) = delete;
  TlsSyslogCollector& operator=(const TlsSyslogCollector&) = delete;

  int Port() const { return port_; }
  std::string Target() const { return "tls:127.0.0.1:" + std::to_string(port_); }
  // The next octet-counted frame's SYSLOG-MSG; "" after `seconds` without
  // one; "bad frame: ..." when the bytes are not MSG-LEN SP SYSLOG-MSG.
  std::string Receive(int seconds = 5);

 private:
  void Serve();

  int listener_ = -1;
  int port_ = 0;
  void* context_ = nullptr;  // SSL_CTX
  bool stopping_ = false;
  std::mutex busy_;
  std::condition_variable arrived_;
  std::string received_;  // bytes not yet taken by Receive
  std::thread server_;
};

}  // namespace tarvelin
