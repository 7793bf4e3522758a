// Values that would end their SQL literal if pasted in raw must be stored and
// found exactly as given, by every operation, without harming any table.
#include "db/entry_choices.h"
#include "db/password_hash.h"
#include "db/performed_step_db.h"
#include "db/sps_status.h"
#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "db/user_store.h"
#include "db/worklist_listing.h"
#include "db/worklistdb.h"
#include "db_fixture.h"
#include "support/hostile_values.h"

namespace tarvelin {

namespace {
const std::vector<std::string>& kHostile = HostileSqlValues();

class HostileValuesTest : public DbTest {
 protected:
  void ExpectTablesIntact() const {
    EXPECT_EQ(TableNames(instance_->Storage()),
              "performedstepentries,performedsteps,referrers,schemaversion,studydescription,users,worklist");
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

TEST_F(HostileValuesTest, PerformedStepsAndEntryLookupsFindValuesVerbatim) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  for (std::size_t i = 0; i < kHostile.size(); ++i) {
    const std::string& value = kHostile[i];
    SCOPED_TRACE(i);
    // A letter ahead of the value tells the fields apart, so a value bound to
    // the wrong mark shows.
    WorklistDB e;
    e.AccessionNumber = value;
    e.PatientID = "P" + value;
    e.PatientName = "N" + value;
    e.Modality = "M" + value;
    e.SPSDate = "D" + value;
    e.SPSDescription = "S" + value;
    e.SPSID = "I" + value;
    e.StudyInstanceUID = "U" + value;
    e.SPSStatus = kScheduled;
    ASSERT_EQ(e.Insert(db), WriteResult::Done);
    const std::string where = " FROM Worklist WHERE AccessionNumber = " + Quoted(value);

    std::vector<std::string> linked;
    const std::string uid = "O" + value;
    const PerformedStep step{uid, kInProgress, "T" + value, "B" + value};
    ASSERT_EQ(PerformedStepDB::Create(db, step, {{value, e.StudyInstanceUID, e.SPSID}}, linked),
              PerformedStepResult::Done);
    EXPECT_EQ(linked, std::vector<std::string>{value});
    EXPECT_EQ(Stored("SELECT SOPInstanceUID" + where), uid);
    EXPECT_EQ(PerformedStepDB::Create(db, step, {}, linked), PerformedStepResult::AlreadyExists);
    const auto complete = [](PerformedStep& s) {
      s.Status = kCompleted;
      return PerformedStepResult::Done;
    };
    EXPECT_EQ(PerformedStepDB::Change(db, uid, complete), PerformedStepResult::Done);
    EXPECT_EQ(PerformedStepDB::Change(db, uid, complete), PerformedStepResult::Finished);
    PerformedStep loaded;
    ASSERT_EQ(PerformedStepDB::Load(db, uid, loaded), PerformedStepResult::Done);
    EXPECT_EQ(loaded.TransferSyntax, step.TransferSyntax);
    EXPECT_EQ(loaded.DataSet, step.DataSet);
    EXPECT_EQ(Stored("SELECT SPSStatus" + where), kCompleted);

    WorklistDB found;
    ASSERT_TRUE(FindEntry(db, value, found));
    EXPECT_EQ(found.SPSID, e.SPSID);
    EXPECT_EQ(found.SPSDescription, e.SPSDescription);
    std::vector<std::string> sameDay;
    ASSERT_TRUE(SameDayEntries(db, found, sameDay));
    EXPECT_EQ(sameDay, std::vector<std::string>{value});
    Raw("INSERT INTO StudyDescription (Modality, Description) VALUES (" + Quoted(e.Modality) + ", 'D" +
        std::to_string(i) + "')");
    std::vector<std::string> descriptions;
    ASSERT_TRUE(ReadStudyDescriptions(db, e.Modality, descriptions));
    EXPECT_EQ(descriptions, std::vector<std::string>{"D" + std::to_string(i)});

    // A required status that is not the stored one spares the entry.
    EXPECT_EQ(found.ChangeStatus(db, kDiscontinued, StatusWriter::Administrator("a"), value), WriteResult::Refused);
    EXPECT_EQ(found.Delete(db, value), WriteResult::Refused);
    EXPECT_EQ(found.Delete(db, kCompleted), WriteResult::Done);
    EXPECT_EQ(Stored("SELECT COUNT(*)" + where), "0");
    ExpectTablesIntact();
  }
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM PerformedSteps"), std::to_string(kHostile.size()));
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
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Users"), "1");
  EXPECT_EQ(Stored("SELECT UserName FROM Users"), "keeper");
  ExpectTablesIntact();
}
}  // namespace

}  // namespace tarvelin
