#pragma once
// The peer a connection thread is serving, for the log. While a
// PeerLogScope lives, every line its thread writes names the peer (the line
// ends with ", from ADDRESS"), and identical ERROR and WARNING lines of that
// peer are rate-limited (see RepeatedLineLimiter). Scopes nest; the inner one
// wins until it ends.
#include <string>

namespace tarvelin {

class PeerLogScope {
 public:
  explicit PeerLogScope(std::string address);
  ~PeerLogScope();
  PeerLogScope(const PeerLogScope&) = delete;
  PeerLogScope& operator=(const PeerLogScope&) = delete;

 private:
  std::string outer_;
};

// The address of the innermost live scope of this thread ("" when none).
const std::string& CurrentLogPeer();

}  // namespace tarvelin
