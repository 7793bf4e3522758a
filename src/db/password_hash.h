#pragma once
// How the Users table keeps passwords: a salted one-way hash (libsodium's
// Argon2id string, self-describing, salt and cost included), never the
// password itself. Rows written before hashing may still hold a clear
// password; those are recognised so the login can rewrite them. Passwords
// are hashed as the UTF-8 bytes typed; older hashes were made of their
// Windows-1252 bytes, and still verify.
#include <cstdint>
#include <string>

namespace tarvelin {

// The hash string to store for `password`; "" when hashing failed (out of
// memory), which no password ever verifies against. Thread-safe.
std::string HashPassword(const std::string& password);

// True when `stored` is a hash made by HashPassword (not a clear password).
bool IsPasswordHash(const std::string& stored);

enum class PasswordCheck {
  Wrong,        // does not match (an empty stored value never matches)
  Matches,      // verified against the stored hash
  MatchesClear,  // an older row holding the clear password, matched exactly: rewrite it as a hash
  MatchesLegacy  // an older hash of the password's Windows-1252 bytes: rewrite it as the UTF-8 one
};

// Compares a password given at login (UTF-8) with the stored column value.
// Thread-safe.
PasswordCheck CheckPassword(const std::string& stored, const std::string& password);

// How many hash verifications the process has run: what a login check costs,
// counted in a unit that does not depend on the machine's load.
std::uint64_t PasswordVerifications();

}  // namespace tarvelin
