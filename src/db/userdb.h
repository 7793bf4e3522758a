#pragma once
// One row of the Users table: the web administration's logins. The table
// keeps a one-way hash of each password (db/password_hash.h), never the text.
#include <string>

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
