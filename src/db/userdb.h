#pragma once
// One row of the Users table: the web administration's logins.
#include <string>

class SQLdb;

class UserDB {
 public:
  std::string UserName;  // exact, case-sensitive
  std::string PassWord;  // plain text
  int Rights = 0;        // 1 ADMIN, anything else GENERAL

  // True when a new row was written; false when the name exists (nothing
  // written, nothing logged) or the statement failed.
  bool Insert(SQLdb& db);
  // Replaces the password and rights of an existing user. False otherwise.
  bool Update(SQLdb& db);
};
