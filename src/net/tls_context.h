#pragma once
// The TLS settings every connection of one side shares: our certificate and
// key, the certificate authorities we trust, whether the peer must present a
// certificate, and the protocol floor and cipher suites (the BCP 195 profile:
// TLS 1.2 or newer, ephemeral elliptic-curve key exchange, authenticated
// encryption only). Built once from PEM files, then used by many threads.
#include <memory>
#include <string>

struct ssl_ctx_st;

namespace tarvelin {

struct TlsFiles {
  std::string Certificate;  // PEM certificate (chain); a client may go without
  std::string Key;          // PEM private key of that certificate
  // PEM certificate authorities. Acceptor: when set, a peer must present a
  // certificate one of them signed. Requestor: the peer's certificate is
  // checked against them (empty: against the system's).
  std::string Authorities;
};

class TlsContext {
 public:
  enum class Side { Acceptor, Requestor };

  // Null, with the reason in `error`, when a file cannot be read or the key
  // does not belong to the certificate. An acceptor needs both.
  static std::unique_ptr<TlsContext> Create(Side side, const TlsFiles& files, std::string& error);
  ~TlsContext();
  TlsContext(const TlsContext&) = delete;
  TlsContext& operator=(const TlsContext&) = delete;

  Side GetSide() const { return side_; }
  // True when the peer's certificate is required and checked.
  bool VerifiesPeer() const { return verifiesPeer_; }
  ssl_ctx_st* Handle() const { return handle_; }

 private:
  TlsContext(Side side, ssl_ctx_st* handle, bool verifiesPeer)
      : side_(side), handle_(handle), verifiesPeer_(verifiesPeer) {}

  Side side_;
  ssl_ctx_st* handle_;
  bool verifiesPeer_;
};

}  // namespace tarvelin
