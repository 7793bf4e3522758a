#include "db/user_store.h"

#include "db/password_hash.h"
#include "db/sql_statement.h"
#include "db/sql_transaction.h"
#include "db/sqldb.h"
#include "db/text_rows.h"
#include "service/log.h"
#include "service/text.h"

namespace tarvelin {

namespace {
constexpr const char* kHashFailed = "password hashing failed (out of memory)";

// The condition that spares the last ADMIN user: part of the very statement
// that removes or demotes, so that no other write can come between the
// count and the change.
constexpr const char* kNotTheLastAdmin =
    " AND (Rights IS NULL OR Rights <> 1 OR (SELECT COUNT(*) FROM Users WHERE Rights = 1) > 1)";

int RightsValue(std::string_view text) { return static_cast<int>(ToIntDef(std::string(text), 0)); }

// The hash of `password` for a write; "" (logged, ErrorText set) when hashing failed.
std::string HashForWrite(SQLdb& db, const char* operation, const std::string& password) {
  std::string hash = HashPassword(password);
  if (hash.empty()) {
    db.ErrorText = kHashFailed;
    WriteLog(std::string("ERROR, UserStore::") + operation + ", " + kHashFailed);
  }
  return hash;
}
}  // namespace

const char* RightsName(int rights) { return rights == kAdminRights ? "ADMIN" : "GENERAL"; }

std::optional<StoredLogin> UserStore::Find(const std::string& name) {
  TextRows rows;
  if (db_.QueryValues(SqlStatement{"SELECT PassWord, Rights FROM Users WHERE UserName = ?", {name}}, rows) != 0) {
    WriteLog("ERROR, " + db_.ErrorText);
    return std::nullopt;
  }
  if (rows.Count() != 1) return std::nullopt;
  return StoredLogin{std::string(rows.Value(0, 0)), RightsValue(rows.Value(0, 1))};
}

WriteResult UserStore::Add(const std::string& name, const std::string& password, int rights) {
  const std::string hash = HashForWrite(db_, "Add", password);
  if (hash.empty()) return WriteResult::Failed;
  // The key decides: an existing name makes the insert change nothing.
  const SqlStatement insert{
      "INSERT INTO Users (UserName, PassWord, Rights) VALUES (?, ?, ?) ON CONFLICT (UserName) DO NOTHING",
      {name, hash, std::to_string(rights)}};
  if (db_.Exec(insert, {hash}) != 0) return WriteResult::Failed;
  return db_.ChangedRows() == 1 ? WriteResult::Done : WriteResult::AlreadyExists;
}

std::optional<int> UserStore::RightsOf(const std::string& name, bool& failed) {
  TextRows rows;
  failed = db_.QueryValues(SqlStatement{"SELECT Rights FROM Users WHERE UserName = ?", {name}}, rows) != 0;
  if (failed || rows.Count() == 0) return std::nullopt;
  return RightsValue(rows.Value(0, 0));
}

WriteResult UserStore::Update(const UserChange& change, int* previousRights) {
  std::string hash;
  if (!change.PassWord.empty()) {
    hash = HashForWrite(db_, "Update", change.PassWord);
    if (hash.empty()) return WriteResult::Failed;
  }
  SqlStatement update;
  update.Add("UPDATE Users SET ");
  if (!hash.empty()) update.Add("PassWord = ?, ", {hash});
  if (change.Rights)
    update.Add("Rights = ?", {std::to_string(*change.Rights)});
  else
    update.Add("Rights = Rights");
  update.Add(" WHERE UserName = ?", {change.UserName});
  if (change.Rights && *change.Rights != kAdminRights) update.Add(kNotTheLastAdmin);
  return WriteExisting(update, {hash}, change.UserName, previousRights);
}

WriteResult UserStore::Remove(const std::string& name, int* removedRights) {
  SqlStatement remove{"DELETE FROM Users WHERE UserName = ?", {name}};
  remove.Add(kNotTheLastAdmin);
  return WriteExisting(remove, {}, name, removedRights);
}

WriteResult UserStore::WriteExisting(const SqlStatement& write, const std::vector<std::string>& secrets,
                                   const std::string& name, int* rightsBefore) {
  // The write lock is held from the read to the commit: the rights read are
  // the ones the write replaces, and a row that exists but was not written
  // was spared by the statement's own condition.
  SQLTransaction transaction(db_);
  if (!transaction.Active()) return WriteResult::Failed;
  bool failed = false;
  const std::optional<int> before = RightsOf(name, failed);
  if (failed) return WriteResult::Failed;
  if (!before) return WriteResult::NotFound;
  if (db_.Exec(write, secrets) != 0) return WriteResult::Failed;
  if (db_.ChangedRows() != 1) return WriteResult::Refused;
  if (!transaction.Commit()) {
    WriteLog("ERROR, UserStore, " + db_.ErrorText);
    return WriteResult::Failed;
  }
  if (rightsBefore) *rightsBefore = *before;
  return WriteResult::Done;
}

bool UserStore::List(const std::string& namePrefix, std::vector<UserListing>& users) {
  users.clear();
  SqlStatement select{"SELECT UserName, Rights FROM Users", {}};
  // Folded on both sides: LIKE ignores ASCII case on SQLite but not on every engine.
  // "%" and "_" keep LIKE's meaning on both; a backslash is no escape on
  // SQLite, nor on PostgreSQL once ESCAPE '' says so.
  if (!namePrefix.empty())
    select.Add(db_.Engine() == SqlEngine::PostgreSQL ? " WHERE LOWER(UserName) LIKE LOWER(?) ESCAPE ''"
                                                     : " WHERE LOWER(UserName) LIKE LOWER(?)",
               {namePrefix + "%"});
  select.Add(" ORDER BY UserName");
  TextRows rows;
  if (db_.QueryValues(select, rows) != 0) {
    WriteLog("ERROR, Users Query Failed: " + db_.ErrorText);
    return false;
  }
  for (std::size_t i = 0; i < rows.Count(); ++i)
    users.push_back({std::string(rows.Value(i, 0)), RightsValue(rows.Value(i, 1))});
  return true;
}

std::optional<int> UserStore::CountAdmins() {
  TextRows rows;
  if (db_.QueryValues(SqlStatement{"SELECT COUNT(*) FROM Users WHERE Rights = 1", {}}, rows) != 0 || rows.Count() != 1) {
    WriteLog("ERROR, cannot count the ADMIN users: " + db_.ErrorText);
    return std::nullopt;
  }
  return RightsValue(rows.Value(0, 0));
}

bool UserStore::RehashPassword(const std::string& name, const std::string& stored, const std::string& password) {
  const std::string hash = HashForWrite(db_, "RehashPassword", password);
  if (hash.empty()) return false;
  const SqlStatement update{"UPDATE Users SET PassWord = ? WHERE UserName = ? AND PassWord = ?", {hash, name, stored}};
  if (db_.Exec(update, {hash, stored}) != 0) {
    WriteLog("ERROR, RehashPassword, " + db_.ErrorText);
    return false;
  }
  return db_.ChangedRows() == 1;
}

bool UserStore::HashClearPasswords(int& hashed, std::string& error) {
  hashed = 0;
  TextRows rows;
  if (db_.QueryValues(SqlStatement{"SELECT UserName, PassWord FROM Users", {}}, rows) != 0) {
    error = "cannot read the users: " + db_.ErrorText;
    return false;
  }
  for (std::size_t i = 0; i < rows.Count(); ++i) {
    const std::string name(rows.Value(i, 0)), password(rows.Value(i, 1));
    if (IsPasswordHash(password) || password.empty()) continue;
    if (!RehashPassword(name, password, password)) {
      error = "cannot store the password of " + name + " as a hash: " + db_.ErrorText;
      return false;
    }
    ++hashed;
  }
  return true;
}

}  // namespace tarvelin
