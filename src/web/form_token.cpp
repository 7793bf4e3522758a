#include "web/form_token.h"

#include <sodium.h>

#include <array>
#include <map>
#include <mutex>
#include <stdexcept>

namespace tarvelin {

struct FormTokens::State {
  std::array<unsigned char, crypto_generichash_KEYBYTES> secret{};
  std::mutex lock;
  std::map<std::string, unsigned long long> rounds;
};

FormTokens::FormTokens() : state_(std::make_unique<State>()) {
  if (sodium_init() < 0) throw std::runtime_error("libsodium cannot be initialised");
  randombytes_buf(state_->secret.data(), state_->secret.size());
}

FormTokens::~FormTokens() = default;

std::string FormTokens::For(const std::string& user) {
  unsigned long long round;
  {
    std::lock_guard<std::mutex> guard(state_->lock);
    round = state_->rounds[user];
  }
  const std::string text = std::to_string(round) + ":" + user;
  std::array<unsigned char, 16> digest{};
  crypto_generichash(digest.data(), digest.size(), reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                     state_->secret.data(), state_->secret.size());
  char hex[33];
  sodium_bin2hex(hex, sizeof hex, digest.data(), digest.size());
  return hex;
}

bool FormTokens::Matches(const std::string& user, const std::string& token) {
  const std::string expected = For(user);
  return token.size() == expected.size() && sodium_memcmp(token.data(), expected.data(), expected.size()) == 0;
}

void FormTokens::EndLogin(const std::string& user) {
  std::lock_guard<std::mutex> guard(state_->lock);
  ++state_->rounds[user];
}

FormTokens& WebFormTokens() {
  static FormTokens tokens;
  return tokens;
}

}  // namespace tarvelin
