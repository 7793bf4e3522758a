#pragma once
// The login check of the web administration (HTTP Basic credentials against
// the Users table).
//
// Browsers repeat the password with every request, and verifying a password
// hash costs tens of milliseconds and 64 MiB by design. So credentials, once
// verified, are remembered for a few minutes under a keyed hash of user name
// and password (a random key per process; the password itself is never
// kept), together with the stored hash they were verified against: a cached
// login still reads the user's row at every request, so a changed password,
// a removed user or new rights take effect at the next request even when
// another program changed the table. Verifications run in a few slots shared
// fairly between clients (web/password_check_slots.h), which bounds the
// memory that a burst of logins (or of guesses) can take and keeps one
// client's guesses from delaying another's login. An unknown user name costs
// the same verification as a wrong password, so answer times tell nothing
// about which names exist.
#include <string>

namespace tarvelin {

// True when `user` exists exactly once and `password` matches its stored
// hash (or, in a database made before hashing, its clear password, which is
// then rewritten as a hash). `rights` is then the row's Rights (0 when not a
// number). Empty texts, a database that cannot be opened and a failed query
// answer false; the last is logged. Any thread may call.
// `client` (the peer's address) decides the turn for a verification slot.
bool CheckUser(const std::string& user, const std::string& password, int& rights, const std::string& client = "");

// Drops what is remembered of `user`'s logins; call after changing or
// deleting that user.
void ForgetVerifiedUser(const std::string& user);

}  // namespace tarvelin
