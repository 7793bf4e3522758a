// The selection both worklist readers ask through: every hostile value is
// bound and found exactly, the log shows the statement as if written out, and
// nothing a caller names reaches the SQL text unchecked.
#include "db/sqldb.h"
#include "db/worklist_selection.h"
#include "db/worklistdb.h"
#include "db_fixture.h"
#include "support/hostile_values.h"

namespace tarvelin {
namespace {
class WorklistSelectionTest : public DbTest {};

std::vector<std::string> Accessions(SQLdb& db, const WorklistSelection& selection) {
  TextRows rows;
  EXPECT_TRUE(SelectWorklist(db, selection, rows)) << db.ErrorText;
  std::vector<std::string> found;
  for (std::size_t r = 0; r < rows.Count(); ++r) found.emplace_back(rows.Value(r, 0));
  return found;
}

TEST_F(WorklistSelectionTest, HostileValuesAreBoundAndFoundExactly) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  const auto& hostile = HostileSqlValues();
  for (std::size_t i = 0; i < hostile.size(); ++i) {
    WorklistDB e;
    e.AccessionNumber = "A" + std::to_string(i);
    e.PatientID = e.Modality = e.SPSDescription = hostile[i];
    e.PatientName = hostile[i] + "^^";
    ASSERT_EQ(e.Insert(db), WriteResult::Done);
  }
  for (std::size_t i = 0; i < hostile.size(); ++i) {
    SCOPED_TRACE(i);
    const std::string& value = hostile[i];
    const std::vector<std::string> one{"A" + std::to_string(i)};
    struct Case {
      WorklistCondition condition;
      bool exact;  // only the entry of this value can match
    };
    const Case cases[] = {
        {{WorklistOperand::Column, "PatientID", WorklistCompare::Equal, {value}}, true},
        {{WorklistOperand::Column, "Modality", WorklistCompare::Pinned, {value}}, true},
        {{WorklistOperand::Column, "SPSDescription", WorklistCompare::OneOf, {"none", value}}, true},
        {{WorklistOperand::Column, "SPSDescription", WorklistCompare::AtLeast, {value}}, false},
        // "[" stands for itself; "*" and "?" stay wildcards, so other values may match too.
        {{WorklistOperand::Column, "PatientID", WorklistCompare::Wildcard, {value}}, false},
    };
    for (const Case& c : cases) {
      WorklistSelection selection;
      selection.Columns = {"AccessionNumber"};
      selection.Conditions = {c.condition};
      const std::vector<std::string> found = Accessions(db, selection);
      if (c.exact)
        EXPECT_EQ(found, one) << static_cast<int>(c.condition.Compare);
      else
        EXPECT_THAT(found, ::testing::Contains(one[0])) << static_cast<int>(c.condition.Compare);
    }
  }
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM Worklist"), std::to_string(hostile.size()));
}

TEST_F(WorklistSelectionTest, NamesOutsideTheTableAndMissingValuesAreRefused) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  const WorklistSelection refused[] = {
      {{"AccessionNumber", "1; DROP TABLE Users"}, {}},
      {{}, {{WorklistOperand::Column, "PassWord", WorklistCompare::Equal, {"x"}}}},
      {{}, {{WorklistOperand::FoldedName, "x) OR (1", WorklistCompare::Equal, {"x"}}}},
      {{}, {{WorklistOperand::Column, "PatientID", WorklistCompare::Equal, {}}}},
      {{}, {{WorklistOperand::Column, "PatientID", WorklistCompare::OneOf, {}}}},
      {{}, {{WorklistOperand::Column, "PatientName", WorklistCompare::NameStarts, {"DOE"}}}},
  };
  for (const WorklistSelection& selection : refused) {
    TextRows rows;
    EXPECT_FALSE(SelectWorklist(db, selection, rows));
    EXPECT_FALSE(db.ErrorText.empty());
    if (!selection.Conditions.empty()) {  // a count names no columns
      EXPECT_EQ(CountWorklist(db, selection), -1);
    }
  }
  EXPECT_NE(("," + TableNames(instance_->Storage()) + ",").find(",users,"), std::string::npos);
}

TEST_F(WorklistSelectionTest, TheLogShowsTheStatementWithItsValuesWrittenOut) {
  WorklistSelection selection;
  selection.Columns = {"AccessionNumber", "PatientName"};
  selection.Conditions = {{WorklistOperand::Column, "Modality", WorklistCompare::Equal, {"C'T?"}},
                          {WorklistOperand::StepTime, "", WorklistCompare::NotEmpty, {}},
                          {WorklistOperand::FoldedName, "PatientName", WorklistCompare::Wildcard, {"D[*"}},
                          {WorklistOperand::Column, "SPSStatus", WorklistCompare::Pinned, {"SCHEDULED"}}};
  selection.Order = WorklistOrder::NameAlone;
  SqlStatement statement;
  std::string error;
  ASSERT_TRUE(WorklistSelectStatement(selection, statement, error)) << error;
  EXPECT_EQ(statement.Logged(),
            "SELECT AccessionNumber, PatientName from Worklist WHERE Modality = 'C''T?' AND "
            "substr(replace(SPSTime, ':', '') || '000000', 1, 6) <> '' AND upper(rtrim(PatientName, '^ ')) GLOB "
            "'D[[]*' AND SPSStatus='SCHEDULED' ORDER BY PatientName");
  SQLdb db("quillat", SQLdb::ReadOnly);
  TextRows rows;
  ASSERT_TRUE(SelectWorklist(db, selection, rows, "WLQuery"));
  // The statement the engine in use ran.
  ASSERT_TRUE(WorklistSelectStatement(selection, statement, error, db.Engine())) << error;
  EXPECT_THAT(LogLines(), ::testing::Contains("INFO, WLQuery=" + statement.Logged()));
}
}  // namespace
}  // namespace tarvelin
