#include "db/userdb.h"

#include <vector>

#include "db/dbinsert.h"
#include "db/password_hash.h"
#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "service/log.h"
#include "service/text.h"

namespace tarvelin {

namespace {
constexpr const char* kHashFailed = "password hashing failed (out of memory)";
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
  insert.AddSecret("PassWord", hash);
  insert.AddInt("Rights", Rights);
  if (!insert.Execute(db, "Users")) {
    WriteLog("ERROR, " + db.ErrorText);
    WriteLog("ERROR, UserDB::Insert, " + insert.Statement);
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
  std::string hash;
  if (!PassWord.empty()) {
    hash = HashPassword(PassWord);
    if (hash.empty()) {
      db.ErrorText = kHashFailed;
      WriteLog(std::string("ERROR, UserDB::Update, ") + kHashFailed);
      return false;
    }
    assignments = "PassWord=" + SqlQuote(hash) + ", ";
  }
  assignments += "Rights=" + std::to_string(Rights);
  const std::vector<std::string> secrets{hash};
  if (db.Exec("UPDATE Users SET " + assignments + " WHERE UserName=" + SqlQuote(UserName), secrets) != 0) {
    WriteLog(db.ErrorText);
    return false;
  }
  WriteLog("INFO, User updated for UserName=" + UserName);
  return true;
}

bool UserDB::Delete(SQLdb& db) {
  return db.Exec("DELETE FROM Users WHERE UserName=" + SqlQuote(UserName)) == 0;
}

std::optional<StoredLogin> FindLogin(SQLdb& db, const std::string& name) {
  // hex() keeps a ";" of an old clear password from being changed by the row format.
  std::vector<std::string> rows;
  if (db.Query("SELECT hex(PassWord), Rights FROM Users WHERE UserName=" + SqlQuote(name), rows) != 0) {
    WriteLog("ERROR, " + db.ErrorText);
    return std::nullopt;
  }
  if (rows.size() != 1) return std::nullopt;
  StoredLogin login;
  login.PassWord = FromHex(Piece(rows[0], ";", 1));
  login.Rights = static_cast<int>(ToIntDef(Trim(Piece(rows[0], ";", 2)), 0));
  return login;
}

bool RehashPassword(SQLdb& db, const std::string& name, const std::string& stored, const std::string& password) {
  const std::string hash = HashPassword(password);
  if (hash.empty()) return false;
  if (db.Exec("UPDATE Users SET PassWord=" + SqlQuote(hash) + " WHERE UserName=" + SqlQuote(name) +
              " AND PassWord=" + SqlQuote(stored), {hash, stored}) != 0) {
    WriteLog("ERROR, RehashPassword, " + db.ErrorText);
    return false;
  }
  return db.ChangedRows() == 1;
}

bool HashClearPasswords(SQLdb& db, int& hashed, std::string& error) {
  hashed = 0;
  // hex() keeps a ";" of a clear password from being changed by the row format.
  std::vector<std::string> rows;
  if (db.Query("SELECT hex(UserName), hex(PassWord) FROM Users", rows) != 0) {
    error = "cannot read the users: " + db.ErrorText;
    return false;
  }
  for (const auto& row : rows) {
    const std::string name = FromHex(Piece(row, ";", 1)), password = FromHex(Piece(row, ";", 2));
    if (IsPasswordHash(password) || password.empty()) continue;
    if (!RehashPassword(db, name, password, password)) {
      error = "cannot store the password of " + name + " as a hash: " + db.ErrorText;
      return false;
    }
    ++hashed;
  }
  return true;
}

std::string UserListSql(const std::string& namePrefix) {
  const std::string condition = namePrefix.empty() ? "" : " WHERE UserName LIKE " + SqlQuote(namePrefix + "%");
  return "SELECT UserName, '********' AS PassWord, Rights FROM Users" + condition + " ORDER BY UserName";
}

}  // namespace tarvelin
