#include "service/log_peer.h"

namespace tarvelin {

namespace {
thread_local std::string currentPeer;
}  // namespace

PeerLogScope::PeerLogScope(std::string address) : outer_(std::move(currentPeer)) {
  currentPeer = std::move(address);
}

PeerLogScope::~PeerLogScope() { currentPeer = std::move(outer_); }

const std::string& CurrentLogPeer() { return currentPeer; }

}  // namespace tarvelin
