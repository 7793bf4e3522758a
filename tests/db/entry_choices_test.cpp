#include "db/entry_choices.h"

#include "db/sqldb.h"
#include "db_fixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {
using EntryChoicesTest = DbTest;

TEST_F(EntryChoicesTest, ReferrersInNameOrderAndDescriptionsOfOneModalityInStoredOrder) {
  Raw("INSERT INTO Referrers (Name) VALUES ('ZORN^ANNA'), ('O''NEIL'), ('ADAMS');"
      "INSERT INTO StudyDescription (Code, Modality, Description) VALUES "
      "(1, 'CT', 'HEAD'), (2, 'MR', 'KNEE'), (3, 'CT', 'ABDOMEN <&>'), (4, 'CT''', 'QUOTED')");
  SQLdb db("quillat", SQLdb::ReadOnly);
  std::vector<std::string> values{"stale"};
  ASSERT_TRUE(ReadReferrerNames(db, values));
  EXPECT_THAT(values, ElementsAre("ADAMS", "O'NEIL", "ZORN^ANNA"));
  ASSERT_TRUE(ReadStudyDescriptions(db, "CT", values));
  EXPECT_THAT(values, ElementsAre("HEAD", "ABDOMEN <&>"));
  ASSERT_TRUE(ReadStudyDescriptions(db, "CT'", values));
  EXPECT_THAT(values, ElementsAre("QUOTED"));
  ASSERT_TRUE(ReadStudyDescriptions(db, "' OR '1'='1", values));
  EXPECT_THAT(values, IsEmpty());
}

TEST_F(EntryChoicesTest, AMissingTableIsAFailureWithSQLitesMessage) {
  Raw("DROP TABLE Referrers; DROP TABLE StudyDescription");
  SQLdb db("quillat", SQLdb::ReadOnly);
  std::vector<std::string> values{"stale"};
  EXPECT_FALSE(ReadReferrerNames(db, values));
  EXPECT_EQ(db.ErrorText, "no such table: Referrers");
  EXPECT_FALSE(ReadStudyDescriptions(db, "CT", values));
  EXPECT_THAT(values, IsEmpty());
}
}  // namespace
