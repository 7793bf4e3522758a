#include "web/check_user.h"

#include <sodium.h>

#include <array>
#include <chrono>
#include <map>
#include <mutex>
#include <optional>

#include "db/password_hash.h"
#include "db/sqldb.h"
#include "db/user_store.h"
#include "service/log.h"
#include "web/password_check_slots.h"

namespace tarvelin {

namespace {
using Key = std::array<unsigned char, crypto_generichash_BYTES>;
using SteadyClock = std::chrono::steady_clock;

constexpr auto kRemembered = std::chrono::minutes(5);
constexpr std::size_t kMaxEntries = 4096;

struct Verified {
  std::string user;
  Key stored;  // digest of the row's PassWord when the password was verified
  SteadyClock::time_point until;
};

class VerifiedCredentials {
 public:
  VerifiedCredentials() {
    if (sodium_init() < 0) throw std::runtime_error("libsodium cannot be initialised");
    randombytes_buf(secret_.data(), secret_.size());
  }

  Key KeyOf(const std::string& user, const std::string& password) const {
    // The user name's length first, so "ab"+"c" and "a"+"bc" differ.
    const std::string length = std::to_string(user.size()) + ":";
    crypto_generichash_state state;
    crypto_generichash_init(&state, secret_.data(), secret_.size(), crypto_generichash_BYTES);
    for (const std::string* part : {&length, &user, &password})
      crypto_generichash_update(&state, reinterpret_cast<const unsigned char*>(part->data()), part->size());
    Key key;
    crypto_generichash_final(&state, key.data(), key.size());
    return key;
  }

  // What is kept of a stored PassWord value (which may be an old clear password).
  Key DigestOf(const std::string& stored) const { return KeyOf("", stored); }

  bool Holds(const Key& key, const std::string& storedValue) {
    const Key stored = DigestOf(storedValue);
    std::lock_guard<std::mutex> guard(lock_);
    const auto it = entries_.find(key);
    if (it == entries_.end()) return false;
    if (it->second.until < SteadyClock::now() || it->second.stored != stored) {
      entries_.erase(it);
      return false;
    }
    return true;
  }

  void Remember(const Key& key, const std::string& user, const std::string& storedValue) {
    const Key stored = DigestOf(storedValue);
    std::lock_guard<std::mutex> guard(lock_);
    const auto now = SteadyClock::now();
    if (entries_.size() >= kMaxEntries) std::erase_if(entries_, [&](const auto& e) { return e.second.until < now; });
    if (entries_.size() >= kMaxEntries) entries_.clear();
    entries_[key] = Verified{user, stored, now + kRemembered};
  }

  void Forget(const std::string& user) {
    std::lock_guard<std::mutex> guard(lock_);
    std::erase_if(entries_, [&](const auto& e) { return e.second.user == user; });
  }

 private:
  std::array<unsigned char, crypto_generichash_KEYBYTES> secret_{};
  std::mutex lock_;
  std::map<Key, Verified> entries_;
};

VerifiedCredentials& Cache() {
  static VerifiedCredentials cache;
  return cache;
}

// The stored value after a successful verification ("" when it failed).
std::string Verify(SQLdb& db, const std::string& user, const std::string& password, const std::string& stored) {
  switch (CheckPassword(stored, password)) {
    case PasswordCheck::Wrong:
      return "";
    case PasswordCheck::Matches:
      return stored;
    case PasswordCheck::MatchesClear:
    case PasswordCheck::MatchesLegacy:
      break;
  }
  // A row from before hashing, or hashed before passwords were UTF-8: it
  // logs in this once as it is and is stored as the UTF-8 hash from now on.
  if (!UserStore(db).RehashPassword(user, stored, password)) return stored;
  WriteLog("INFO, User=" + user + (IsPasswordHash(stored) ? ", password hash renewed as UTF-8"
                                                            : ", clear password replaced by its hash"));
  const auto now = UserStore(db).Find(user);
  return now ? now->PassWord : "";
}

// A hash no password was made for: an unknown user's password is verified
// against it, so the answer takes as long as a known user's wrong one and
// tells nothing about which user names exist.
const std::string& DummyHash() {
  static const std::string hash = [] {
    unsigned char secret[32];
    randombytes_buf(secret, sizeof secret);
    return HashPassword(std::string(reinterpret_cast<const char*>(secret), sizeof secret));
  }();
  return hash;
}
}  // namespace

bool CheckUser(const std::string& user, const std::string& password, int& rights, const std::string& client) {
  if (user.empty() || password.empty()) return false;
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return false;
  VerifiedCredentials& cache = Cache();  // libsodium is ready from here on
  const auto login = UserStore(db).Find(user);
  if (!login) {
    const PasswordCheckSlots::Held slot(WebPasswordCheckSlots(), client);
    CheckPassword(DummyHash(), password);
    return false;
  }
  const Key key = cache.KeyOf(user, password);
  if (!cache.Holds(key, login->PassWord)) {
    const PasswordCheckSlots::Held slot(WebPasswordCheckSlots(), client);
    // Another request may have verified the same credentials meanwhile.
    if (!cache.Holds(key, login->PassWord)) {
      const std::string verified = Verify(db, user, password, login->PassWord);
      if (verified.empty()) return false;
      cache.Remember(key, user, verified);
    }
  }
  rights = login->Rights;
  return true;
}

void ForgetVerifiedUser(const std::string& user) { Cache().Forget(user); }

}  // namespace tarvelin
