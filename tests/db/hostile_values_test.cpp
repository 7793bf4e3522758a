// Values that would end their SQL literal if pasted in raw must be stored and
// found exactly as given, by every operation, without harming any table.
#include "db/password_hash.h"
#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "db/user_store.h"
#include "db/worklistdb.h"
#include "db_fixture.h"
#include "support/hostile_values.h"

namespace tarvelin {

namespace {
const std::vector<std::string>& kHostile = HostileSqlValues();

class HostileValuesTest : public DbTest {
 protected:
  void ExpectTablesIntact() const {
    EXPECT_EQ(Stored("SELECT group_concat(name) FROM (SELECT name FROM sqlite_master WHERE type = 'table' "
                     "ORDER BY name)"),
              "PerformedStepEntries,PerformedSteps,Referrers,SchemaVersion,StudyDescription,Users,Worklist");
  }
  std::string Quoted(const std::string& value) const { return SqlQuote(value); }
};

TEST(SqlQuote, DoublesQuotesAndNothingElse) {
  EXPECT_EQ(SqlQuote(""), "''");
  EXPECT_EQ(SqlQuote("O'BRIEN"), "'O''BRIEN'");
  EXPECT_EQ(SqlQuote("''"), "''''''");
  EXPECT_EQ(SqlQuote("a;b%_\""), "'a;b%_\"'");
}

TEST_F(HostileValuesTest, WorklistOperationsStoreAndFindValuesVerbatim) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  for (std::size_t i = 0; i < kHostile.size(); ++i) {
    const std::string& value = kHostile[i];
    SCOPED_TRACE(i);
    WorklistDB e;
    e.PatientID = e.PatientName = e.AccessionNumber = e.Modality = e.SPSDescription = value;
    ASSERT_EQ(e.Insert(db), WriteResult::Done);
    const std::string where = " FROM Worklist WHERE AccessionNumber = " + Quoted(value);
    EXPECT_EQ(Stored("SELECT PatientName" + where), value);
    EXPECT_EQ(Stored("SELECT SPSDescription" + where), value);
    EXPECT_EQ(Stored("SELECT COUNT(*)" + where), "1");
    EXPECT_EQ(e.Insert(db), WriteResult::AlreadyExists);  // found again: the key survived the round trip

    WorklistDB change;
    change.AccessionNumber = value;
    change.ReferringPhysician = value + "!";
    EXPECT_EQ(change.Update(db), WriteResult::Done);
    EXPECT_EQ(Stored("SELECT ReferringPhysician" + where), value + "!");
    // Status words are a closed set: hostile text is refused, never stored.
    EXPECT_EQ(change.ChangeStatus(db, value), WriteResult::Invalid);
    EXPECT_EQ(change.ChangeStatus(db, "COMPLETED"), WriteResult::Done);
    EXPECT_EQ(Stored("SELECT SPSStatus" + where), "COMPLETED");
    ExpectTablesIntact();
  }
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Worklist"), std::to_string(kHostile.size()));
  for (const auto& value : kHostile) {
    WorklistDB key;
    key.AccessionNumber = value;
    EXPECT_EQ(key.Delete(db), WriteResult::Done);
    EXPECT_EQ(Stored("SELECT COUNT(*) FROM Worklist WHERE AccessionNumber = " + Quoted(value)), "0");
  }
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Worklist"), "0");
  ExpectTablesIntact();
}

TEST_F(HostileValuesTest, UsersAndTheirPasswordsSurviveEveryStoreOperation) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  UserStore users(db);
  ASSERT_EQ(users.Add("keeper", "keeps an ADMIN user", kAdminRights), WriteResult::Done);
  for (const auto& value : kHostile) {
    SCOPED_TRACE(value);
    ASSERT_EQ(users.Add(value, value, 0), WriteResult::Done);
    EXPECT_EQ(users.Add(value, value, 0), WriteResult::AlreadyExists);
    const std::string where = " FROM Users WHERE UserName = " + Quoted(value);
    EXPECT_EQ(CheckPassword(Stored("SELECT PassWord" + where), value), PasswordCheck::Matches);
    EXPECT_EQ(users.Update({value, kAdminRights, "new " + value}), WriteResult::Done);
    EXPECT_EQ(CheckPassword(users.Find(value)->PassWord, "new " + value), PasswordCheck::Matches);
    EXPECT_EQ(Stored("SELECT Rights" + where), "1");
    std::vector<UserListing> listed;
    ASSERT_TRUE(users.List(value, listed));
    ASSERT_FALSE(listed.empty());
    EXPECT_EQ(listed.front().UserName, value);
    ExpectTablesIntact();
  }
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Users"), std::to_string(kHostile.size() + 1));
  for (const auto& value : kHostile) EXPECT_EQ(users.Remove(value), WriteResult::Done) << value;
  EXPECT_EQ(Stored("SELECT group_concat(UserName) FROM Users"), "keeper");
  ExpectTablesIntact();
}
}  // namespace

}  // namespace tarvelin
