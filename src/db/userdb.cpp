#include "db/userdb.h"

#include "db/dbinsert.h"
#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "service/log.h"

bool UserDB::Insert(SQLdb& db) {
  if (dbLocate(db, "Users", "UserName", UserName)) return false;
  dbInsert insert;
  insert.Add("UserName", UserName);
  insert.Add("PassWord", PassWord);
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
    WriteLog("ERROR, UserName=" + UserName + ", does not exists");
    return false;
  }
  if (db.Exec("UPDATE Users SET PassWord=" + SqlQuote(PassWord) + ", Rights=" +
              std::to_string(Rights) + " WHERE UserName=" + SqlQuote(UserName)) != 0) {
    WriteLog(db.ErrorText);
    return false;
  }
  WriteLog("INFO, User updated for UserName=" + UserName);
  return true;
}
