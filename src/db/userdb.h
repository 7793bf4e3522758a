#pragma once
// One row of the Users table: the web administration's logins. The table
// keeps a one-way hash of each password (db/password_hash.h), never the text.
#include <optional>
#include <string>

namespace tarvelin {

class SQLdb;

class UserDB {
 public:
  std::string UserName;  // exact, case-sensitive
  std::string PassWord;  // the password as typed; stored only as its hash
  int Rights = 0;        // 1 ADMIN, anything else GENERAL

  // True when a new row was written, holding the hash of PassWord; false when
  // the name exists (nothing written, nothing logged) or the statement failed.
  bool Insert(SQLdb& db);
  // Replaces the rights of an existing user, and its password (hashed) when
  // PassWord is not empty: an empty PassWord keeps the stored one. False
  // otherwise (logged).
  bool Update(SQLdb& db);
  // Removes the user named UserName. True when the statement ran (also when no
  // such user was left to remove); false with db.ErrorText set otherwise.
  bool Delete(SQLdb& db);
};

// What the login check needs of one user's row.
struct StoredLogin {
  std::string PassWord;  // a hash, or a clear password in a database made before hashing
  int Rights = 0;
};

// The row of `name` when exactly one exists. A failed query is logged
// ("ERROR, " + SQLite's message) and answers nothing, as do zero or several rows.
std::optional<StoredLogin> FindLogin(SQLdb& db, const std::string& name);

// Replaces the stored PassWord value `stored` of `name` (a clear password or
// an older hash) by the hash of `password`, unless the row changed
// meanwhile. True when the row now holds the new hash.
bool RehashPassword(SQLdb& db, const std::string& name, const std::string& stored, const std::string& password);

// Rewrites every password still stored in clear (an older database) as its
// hash; `hashed` counts them. False (`error` set) when one could not be.
bool HashClearPasswords(SQLdb& db, int& hashed, std::string& error);

// The user list of the administration grid, in name order, for names that
// begin with `namePrefix` (all when empty; "%" and "_" keep their LIKE
// meaning). Its columns are UserName, PassWord and Rights, the PassWord
// column always "********": no page ever shows a stored hash.
std::string UserListSql(const std::string& namePrefix);

}  // namespace tarvelin
