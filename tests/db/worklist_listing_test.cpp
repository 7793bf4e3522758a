// The list staff browse and the edits they save, against a real database:
// filters (names in any letter case and script), orders, pages, and saving
// an edited entry only when nobody changed it, with the status rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/name_match.h"
#include "db/sqldb.h"
#include "db/worklist_edit.h"
#include "db/worklist_listing.h"
#include "support/database_folder.h"

namespace tarvelin {

using ::testing::ElementsAreArray;
using ::testing::HasSubstr;

namespace {
class WorklistListingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(folder_.Problem(), "");
    SQLdb db("quillat", SQLdb::ReadWrite);
    struct Row {
      const char *accession, *name, *date, *time, *modality, *station, *status;
    } rows[] = {
        {"A1", "M\xC3\x9CLLER^ANNA", "20240315", "0930", "CT", "CT01", "SCHEDULED"},  // UTF-8 from HL7
        // 8-bit from the web form of older versions; PostgreSQL holds UTF-8 only.
        {"A2", TestsOnPostgres() ? "M\xC3\x9CLLER^OTTO" : "M\xDCLLER^OTTO", "20240315", "0800", "MR", "MR01",
         "IN PROGRESS"},
        {"A3", "MULLER^JAN", "20240315", "1100", "CT", "CT02", "COMPLETED"},
        {"A4", "DOE^JOHN", "20240316", "0700", "RF", "RF01", "SCHEDULED"},
        {"A5", "doe", "20240314", "0700", "CT", "CT01", "SCHEDULED"},
    };
    for (const Row& r : rows) {
      WorklistDB e;
      e.AccessionNumber = r.accession;
      e.PatientName = r.name;
      e.PatientID = std::string("ID") + r.accession;
      e.SPSDate = r.date;
      e.SPSTime = r.time;
      e.Modality = r.modality;
      e.ScheduledStation = r.station;
      e.SPSStatus = r.status;
      ASSERT_EQ(e.Insert(db), WriteResult::Done);
    }
  }

  std::vector<std::string> Listed(const WorklistFilter& filter, WorklistOrder order = WorklistOrder::Start,
                                  bool descending = false, int pageSize = 10, long long offset = 0,
                                  long long* total = nullptr) {
    SQLdb db("quillat", SQLdb::ReadOnly);
    ListedEntries page;
    EXPECT_TRUE(ListWorklist(db, filter, order, descending, pageSize, offset, page)) << db.ErrorText;
    if (total) *total = page.Total;
    std::vector<std::string> keys;
    for (const auto& e : page.Rows) keys.push_back(e.AccessionNumber);
    return keys;
  }

  DatabaseFolder folder_{"listing"};
};

TEST(NameMatch, FamilyAndGivenMatchTheStartOfTheirComponentInAnyCase) {
  const struct {
    const char *stored, *family, *given;
    bool matches;
  } cases[] = {
      {"M\xC3\x9CLLER^ANNA", "m\xC3\xBCller", "", true},    // typed in UTF-8
      {"M\xC3\x9CLLER^ANNA", "m\xFCl", "", true},           // typed on an 8-bit page
      {"M\xDCLLER^OTTO", "m\xC3\xBCller", "ot", true},       // stored as 8-bit text
      {"MULLER^JAN", "m\xC3\xBCller", "", false},           // accents as typed
      {"M\xC3\x9CLLER^ANNA", "muller", "", false},
      {"DOE^JOHN", "", "jo", true},                          // a given name alone
      {"DOE^JOHN", "", "doe", false},
      {"DOE", "do", "", true},
      {"DOE", "do", "j", false},
      {"\xCE\xA3\xCE\xA9\xCE\xA4\xCE\x97\xCE\xA1", "\xCF\x83\xCF\x89", "", true},  // Greek capitals
  };
  for (const auto& c : cases) EXPECT_EQ(NameMatches(c.stored, c.family, c.given), c.matches) << c.stored << " / " << c.family;
}

TEST_F(WorklistListingTest, FiltersSelectAndTheStartTimeOrders) {
  const struct {
    WorklistFilter filter;
    std::vector<std::string> keys;
  } cases[] = {
      {{.DateFrom = "20240315", .DateTo = "20240315"}, {"A2", "A1", "A3"}},
      {{.DateFrom = "20240314", .DateTo = "20240316"}, {"A5", "A2", "A1", "A3", "A4"}},
      {{.DateFrom = "20240316"}, {"A4"}},
      {{.Status = "IN PROGRESS"}, {"A2"}},
      {{.Modality = "RF"}, {"A4"}},
      {{.Station = "CT01"}, {"A5", "A1"}},
      {{.PatientID = "IDA3"}, {"A3"}},
      {{.DateFrom = "20240315", .DateTo = "20240315", .Family = "m\xC3\xBCller"}, {"A2", "A1"}},
      {{.Given = "jo"}, {"A4"}},
      {{.Family = "DOE"}, {"A5", "A4"}},
      {{.Family = "x' OR '1'='1"}, {}},
  };
  for (const auto& c : cases) EXPECT_THAT(Listed(c.filter), ElementsAreArray(c.keys));
}

TEST_F(WorklistListingTest, OrdersAndPagesNeitherRepeatNorSkip) {
  // Byte order: the UTF-8 name (C3 9C) before the 8-bit one (DC).
  EXPECT_THAT(Listed({}, WorklistOrder::Name), ElementsAreArray({"A4", "A3", "A1", "A2", "A5"}));
  EXPECT_THAT(Listed({}, WorklistOrder::Start, true), ElementsAreArray({"A4", "A3", "A1", "A2", "A5"}));
  EXPECT_THAT(Listed({}, WorklistOrder::Modality), ElementsAreArray({"A5", "A1", "A3", "A2", "A4"}));
  std::vector<std::string> paged;
  long long total = 0;
  for (long long offset = 0; offset < 5; offset += 2)
    for (const auto& key : Listed({}, WorklistOrder::Status, false, 2, offset, &total)) paged.push_back(key);
  EXPECT_EQ(total, 5);
  EXPECT_THAT(paged, ElementsAreArray(Listed({}, WorklistOrder::Status)));

  SQLdb db("quillat", SQLdb::ReadOnly);
  std::vector<std::string> modalities, stations;
  ASSERT_TRUE(StoredModalities(db, modalities));
  EXPECT_THAT(modalities, ElementsAreArray({"CT", "MR", "RF"}));  // what is stored, RF too
  ASSERT_TRUE(StoredStations(db, stations));
  EXPECT_EQ(stations.size(), 4u);
}

TEST_F(WorklistListingTest, AnEditIsSavedWholeOnlyOverWhatTheFormShowed) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  WorklistDB shown;
  ASSERT_TRUE(FindEntry(db, "A2", shown));
  const std::string fingerprint = EntryFingerprint(shown);

  EntryEdit edit;
  edit.Entry = shown;
  edit.Entry.PatientBD = "";  // cleared
  edit.Entry.SPSDescription = "KNEE";
  edit.Fingerprint = fingerprint;
  edit.User = "anna";
  const struct {
    const char* status;
    bool override;
    EntrySave result;
    const char* stored;
  } cases[] = {
      {"SCHEDULED", false, EntrySave::StatusRefused, "IN PROGRESS"},  // backwards
      {"", false, EntrySave::Saved, "IN PROGRESS"},                  // status untouched
  };
  for (const auto& c : cases) {
    edit.NewStatus = c.status;
    edit.Override = c.override;
    EXPECT_EQ(SaveEditedEntry(db, edit), c.result) << c.status;
    WorklistDB now;
    ASSERT_TRUE(FindEntry(db, "A2", now));
    EXPECT_EQ(now.SPSStatus, c.stored);
  }
  WorklistDB saved;
  ASSERT_TRUE(FindEntry(db, "A2", saved));
  EXPECT_EQ(saved.PatientBD, "");
  EXPECT_EQ(saved.SPSDescription, "KNEE");
  // The form was made from the entry before that save: nothing more is written.
  edit.Entry.SPSDescription = "HEAD";
  EXPECT_EQ(SaveEditedEntry(db, edit), EntrySave::ChangedMeanwhile);
  // An administrator's explicit change goes back, and is logged.
  edit.Fingerprint = EntryFingerprint(saved);
  edit.NewStatus = "SCHEDULED";
  edit.Override = true;
  EXPECT_EQ(SaveEditedEntry(db, edit), EntrySave::Saved);
  EXPECT_THAT(folder_.Log(), HasSubstr("AccessionNumber=A2 moved back from IN PROGRESS to SCHEDULED by administrator anna"));
  edit.Entry.AccessionNumber = "NOPE";
  EXPECT_EQ(SaveEditedEntry(db, edit), EntrySave::NotFound);

  edit.Fingerprint = EntryFingerprint([&] {
    WorklistDB now;
    FindEntry(db, "A2", now);
    return now;
  }());
  edit.Entry.AccessionNumber = "A2";
  edit.NewStatus = "DONE";  // not a status word, not even for an administrator
  EXPECT_EQ(SaveEditedEntry(db, edit), EntrySave::StatusRefused);
}

TEST_F(WorklistListingTest, SameDayEntriesFindARepeatedOrder) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  WorklistDB repeat;
  ASSERT_TRUE(FindEntry(db, "A1", repeat));
  std::vector<std::string> same;
  ASSERT_TRUE(SameDayEntries(db, repeat, same));
  EXPECT_THAT(same, ElementsAreArray({"A1"}));
  repeat.SPSDate = "20240316";
  same.clear();
  ASSERT_TRUE(SameDayEntries(db, repeat, same));
  EXPECT_TRUE(same.empty());
}
}  // namespace

}  // namespace tarvelin
