#pragma once
// The logins of the web administration, the Users table: the only code that
// knows its SQL. The table keeps a one-way hash of each password
// (db/password_hash.h), never the text. Names compare exactly
// (case-sensitive); Rights 1 is ADMIN, any other value GENERAL.
//
// Every write is decided inside one statement or one write transaction, by
// the rows it changed, never by a look taken before: of two writers racing
// for the same name exactly one is told Done. In particular the last ADMIN
// user can neither be removed nor lose its rights, and of two removals of
// the last two ADMIN users one is Refused. Values are always bound; a failure
// is logged (SQLdb's lines, with the password hash hidden) and never names a
// password or hash. A store works on the caller's open connection and is
// used by that connection's thread only.
#include <optional>
#include <string>
#include <vector>

#include "db/write_result.h"

namespace tarvelin {

class SQLdb;
struct SqlStatement;

inline constexpr int kAdminRights = 1;

// "ADMIN" for kAdminRights, "GENERAL" for anything else.
const char* RightsName(int rights);

// What the login check needs of one user's row.
struct StoredLogin {
  std::string PassWord;  // a hash, or a clear password in a database made before hashing
  int Rights = 0;
};

// One user of a listing: never the stored hash.
struct UserListing {
  std::string UserName;
  int Rights = 0;
};

// A change of one user: the fields left empty keep their stored values.
struct UserChange {
  std::string UserName;
  std::optional<int> Rights;
  std::string PassWord;  // the new password as typed; "" keeps the stored hash
};

class UserStore {
 public:
  explicit UserStore(SQLdb& db) : db_(db) {}

  // The row of `name`. Nothing when there is none, or the query failed (logged).
  std::optional<StoredLogin> Find(const std::string& name);

  // Adds `name` with the hash of `password` (not empty). Done,
  // AlreadyExists or Failed.
  WriteResult Add(const std::string& name, const std::string& password, int rights);

  // Applies `change`. Done, NotFound, Refused (it would take the ADMIN rights
  // of the last ADMIN user) or Failed. `previousRights`, when given, receives
  // the rights the user had before a Done.
  WriteResult Update(const UserChange& change, int* previousRights = nullptr);

  // Removes `name`. Done, NotFound, Refused (the last ADMIN user) or Failed.
  // `removedRights`, when given, receives the rights of the removed user.
  WriteResult Remove(const std::string& name, int* removedRights = nullptr);

  // The users whose names begin with `namePrefix` (all when empty; "%" and
  // "_" keep their LIKE meaning), in name order. False when the query failed
  // (logged).
  bool List(const std::string& namePrefix, std::vector<UserListing>& users);

  // How many ADMIN users there are; nothing when the query failed (logged).
  std::optional<int> CountAdmins();

  // Replaces the stored PassWord value `stored` of `name` (a clear password or
  // an older hash) by the hash of `password`, unless the row changed
  // meanwhile. True when the row now holds the new hash.
  bool RehashPassword(const std::string& name, const std::string& stored, const std::string& password);

  // Rewrites every password still stored in clear (an older database) as its
  // hash; `hashed` counts them. False (`error` set, naming the user but never
  // the password) when one could not be.
  bool HashClearPasswords(int& hashed, std::string& error);

 private:
  // Runs `write` (which changes the row of `name` unless its own condition
  // spares it) in one write transaction: NotFound without such a row,
  // Refused when the row was spared, else Done or Failed. `rightsBefore`,
  // when given, receives the rights the row had before a Done.
  WriteResult WriteExisting(const SqlStatement& write, const std::vector<std::string>& secrets,
                          const std::string& name, int* rightsBefore);
  // The stored rights of `name`; nothing when there is no such user or the
  // query failed (`failed` then true, logged).
  std::optional<int> RightsOf(const std::string& name, bool& failed);

  SQLdb& db_;
};

}  // namespace tarvelin
