#include "db/userdb.h"

#include "db/dbinsert.h"
#include "db/password_hash.h"
#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "service/log.h"

namespace {
constexpr const char* kHashFailed = "password hashing failed (out of memory)";

// A statement fit for the log: the stored hash replaced by asterisks.
std::string WithoutHash(std::string statement, const std::string& hash) {
  const std::string quoted = SqlQuote(hash);
  if (const auto at = statement.find(quoted); at != std::string::npos)
    statement.replace(at, quoted.size(), "'********'");
  return statement;
}
}  // namespace

bool UserDB::Insert(SQLdb& db) {
  if (dbLocate(db, "Users", "UserName", UserName)) return false;
  const std::string hash = HashPassword(PassWord);
  if (hash.empty()) {
    db.ErrorText = kHashFailed;
    WriteLog(std::string("ERROR, UserDB::Insert, ") + kHashFailed);
    return false;
  }
  dbInsert insert;
  insert.Add("UserName", UserName);
  insert.Add("PassWord", hash);
  insert.AddInt("Rights", Rights);
  if (!insert.Execute(db, "Users")) {
    WriteLog("ERROR, " + db.ErrorText);
    WriteLog("ERROR, UserDB::Insert, " + WithoutHash(insert.Statement, hash));
    return false;
  }
  return true;
}

bool UserDB::Update(SQLdb& db) {
  if (UserName.empty()) {
    WriteLog("ERROR, UserName can't be empty");
    return false;
  }
  if (!dbLocate(db, "Users", "UserName", UserName)) {
    db.ErrorText = "UserName=" + UserName + ", does not exists";
    WriteLog("ERROR, " + db.ErrorText);
    return false;
  }
  std::string assignments;
  if (!PassWord.empty()) {
    const std::string hash = HashPassword(PassWord);
    if (hash.empty()) {
      db.ErrorText = kHashFailed;
      WriteLog(std::string("ERROR, UserDB::Update, ") + kHashFailed);
      return false;
    }
    assignments = "PassWord=" + SqlQuote(hash) + ", ";
  }
  assignments += "Rights=" + std::to_string(Rights);
  if (db.Exec("UPDATE Users SET " + assignments + " WHERE UserName=" + SqlQuote(UserName)) != 0) {
    WriteLog(db.ErrorText);
    return false;
  }
  WriteLog("INFO, User updated for UserName=" + UserName);
  return true;
}

bool UserDB::Delete(SQLdb& db) {
  return db.Exec("DELETE FROM Users WHERE UserName=" + SqlQuote(UserName)) == 0;
}
