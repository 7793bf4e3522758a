#include "db/password_hash.h"

#include <sodium.h>

#include <atomic>
#include <stdexcept>

#include "platform/codepage.h"

namespace tarvelin {

namespace {
constexpr const char* kHashPrefix = "$argon2id$";

std::atomic<std::uint64_t> verifications{0};

// libsodium must be initialised once before its first use; sodium_init is
// itself safe to call from several threads.
void EnsureSodium() {
  static const bool ready = sodium_init() >= 0;
  if (!ready) throw std::runtime_error("libsodium could not be initialised");
}

// Exact comparison in time independent of where the texts differ.
bool SameText(const std::string& a, const std::string& b) {
  EnsureSodium();
  return a.size() == b.size() && sodium_memcmp(a.data(), b.data(), a.size()) == 0;
}
}  // namespace

std::string HashPassword(const std::string& password) {
  EnsureSodium();
  char hash[crypto_pwhash_STRBYTES];
  if (crypto_pwhash_str_alg(hash, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                            crypto_pwhash_MEMLIMIT_INTERACTIVE, crypto_pwhash_ALG_ARGON2ID13) != 0)
    return "";
  return hash;
}

bool IsPasswordHash(const std::string& stored) { return stored.rfind(kHashPrefix, 0) == 0; }

PasswordCheck CheckPassword(const std::string& stored, const std::string& password) {
  if (stored.empty()) return PasswordCheck::Wrong;
  // Before passwords were kept as UTF-8 they were stored and hashed in
  // Windows-1252; only a password that has such a form can match that way.
  const std::string older = Utf8ToCp1252(password);
  const bool hasOlderForm = older != password && Cp1252ToUtf8(older) == password;
  if (!IsPasswordHash(stored))
    return SameText(stored, password) || (hasOlderForm && SameText(stored, older)) ? PasswordCheck::MatchesClear
                                                                                      : PasswordCheck::Wrong;
  EnsureSodium();
  const auto verifies = [&](const std::string& text) {
    verifications.fetch_add(1, std::memory_order_relaxed);
    return crypto_pwhash_str_verify(stored.c_str(), text.data(), text.size()) == 0;
  };
  if (verifies(password)) return PasswordCheck::Matches;
  return hasOlderForm && verifies(older) ? PasswordCheck::MatchesLegacy : PasswordCheck::Wrong;
}

std::uint64_t PasswordVerifications() { return verifications.load(std::memory_order_relaxed); }

}  // namespace tarvelin
