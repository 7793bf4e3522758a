// Worklist matching against a real database: each key, value form and
// value representation through the SELECT the server runs, the refusals of
// values that cannot be processed, the keys reported as not matched, and the
// station filter.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>

#include "db/sqldb.h"
#include "service/settings.h"
#include "support/text_rows_vectors.h"
#include "worklist/station_filter.h"
#include "worklist/worklist_identifier.h"
#include "worklist/worklist_query.h"
#include "worklist_fixture.h"

namespace tarvelin {

using namespace std::string_literals;

namespace {

using Row = std::vector<std::string>;
using Rows = std::vector<Row>;
using Accessions = std::set<std::string>;

struct Key {
  std::uint16_t group, element;
  std::string value;
  bool inStep = false;  // inside the (0040,0100) item, where modalities put step keys
};

// An identifier asking for the accession number, with `keys` as matching keys.
DcmObj Identifier(const std::vector<Key>& keys) {
  DcmObj id;
  id.Add(EmptyElement(0x0008, 0x0050));
  std::vector<DcmTag> step;
  for (const Key& k : keys) {
    if (k.inStep)
      step.push_back(RawElement(k.group, k.element, k.value));
    else
      id.Add(RawElement(k.group, k.element, k.value));
  }
  if (!step.empty()) id.AddSequence(0x0040, 0x0100, SequenceOf(std::move(step)));
  return id;
}

std::string Described(const std::vector<Key>& keys) {
  std::string text;
  for (const Key& k : keys) {
    char tag[16];
    std::snprintf(tag, sizeof tag, " (%04X,%04X)=", k.group, k.element);
    text += tag + k.value;
  }
  return text;
}

bool QueryRows(const DcmObj& identifier, Rows& rows, std::string& columns, const std::string& filterLine) {
  TextRows table;
  const WorklistQuery query = TranslateWorklistQuery(identifier, filterLine);
  columns = query.Columns;
  const bool ok = !query.Refusal && WLQuery(query, table);
  rows = AsVectors(table);
  return ok;
}

Accessions Matches(const std::vector<Key>& keys) {
  Rows rows;
  std::string columns;
  EXPECT_TRUE(QueryRows(Identifier(keys), rows, columns, ""));
  Accessions found;
  for (const Row& row : rows) found.insert(row.at(0));
  return found;
}

void WriteFilterFile(const std::string& folder, const std::string& text) {
  std::ofstream(folder + "wlfilter.txt", std::ios::binary) << text;
}

}  // namespace

class Matching : public WorklistInstance {
 protected:
  void SetUp() override {
    WorklistInstance::SetUp();
    struct Stored {
      const char *accession, *name, *id, *modality, *date, *time, *uid;
    };
    const Stored stored[] = {
        {"A1", "DOE^JOHN", "12345", "CT", "20270108", "093000", "1.2.3.1"},
        {"A2", "doe^jane", "123456", "MR", "20270108", "1500", "1.2.3.2"},
        {"A3", "DOEHLER^ANNA^^", "1234", "CT", "20270109", "07:45", "1.2.3.3"},
        {"A4", "50%_OFF^X", "12%45", "CT", "20270109", "223000", "1.2.3.4"},
        {"A5", "O'BRIEN^PAT", "A_1", "US", "20270110", "0000", "1.2.3.5"},
        {"A6", "[BRACKET]^Y", "[1]", "CT", "20270110", "120000.5", "1.2.3.6"},
    };
    for (const Stored& s : stored) {
      WorklistDB e = Entry(s.accession, s.name);
      e.PatientID = s.id;
      e.Modality = s.modality;
      e.SPSDate = s.date;
      e.SPSTime = s.time;
      e.StudyInstanceUID = s.uid;
      if (e.AccessionNumber == "A1") {
        e.PatientBD = "19700101";
        e.PatientSex = "M";
        e.ReferringPhysician = "SMITH^ANN";
      }
      Insert(e);
    }
  }
};

TEST_F(Matching, EachKeyByItsRule) {
  const Accessions all = {"A1", "A2", "A3", "A4", "A5", "A6"};
  struct Case {
    std::vector<Key> keys;
    Accessions expected;
  };
  const std::vector<Case> cases = {
      // Single values are exact: a scanned ID finds no longer ID.
      {{{0x0010, 0x0020, "12345"}}, {"A1"}},
      {{{0x0010, 0x0020, "1234"}}, {"A3"}},
      {{{0x0010, 0x0020, "1234*"}}, {"A1", "A2", "A3"}},
      {{{0x0010, 0x0020, "123?5"}}, {"A1"}},
      {{{0x0010, 0x0020, "*4?"}}, {"A1", "A4"}},
      // "%", "_" and "[" are ordinary characters.
      {{{0x0010, 0x0020, "12%45"}}, {"A4"}},
      {{{0x0010, 0x0020, "12_45"}}, {}},
      {{{0x0010, 0x0020, "A%"}}, {}},
      {{{0x0010, 0x0020, "A_*"}}, {"A5"}},
      {{{0x0010, 0x0020, "[1]"}}, {"A6"}},
      {{{0x0010, 0x0020, "[1]*"}}, {"A6"}},
      {{{0x0010, 0x0020, "*"}}, all},
      {{{0x0010, 0x0020, ""}}, all},
      // Names: letters without case, trailing empty components ignored.
      {{{0x0010, 0x0010, "doe^john"}}, {"A1"}},
      {{{0x0010, 0x0010, "DOE"}}, {}},
      {{{0x0010, 0x0010, "DOE*"}}, {"A1", "A2", "A3"}},
      {{{0x0010, 0x0010, "Doe^J*"}}, {"A1", "A2"}},
      {{{0x0010, 0x0010, "*^J?HN"}}, {"A1"}},
      {{{0x0010, 0x0010, "DOEHLER^ANNA"}}, {"A3"}},
      {{{0x0010, 0x0010, "DOE^JOHN^^ "}}, {"A1"}},
      {{{0x0010, 0x0010, "DOE*\0"s}}, {"A1", "A2", "A3"}},
      {{{0x0010, 0x0010, "*ANNA"}}, {"A3"}},
      {{{0x0010, 0x0010, "50%_OFF^X"}}, {"A4"}},
      {{{0x0010, 0x0010, "5_%*"}}, {}},
      {{{0x0010, 0x0010, "O'BRIEN*"}}, {"A5"}},
      {{{0x0010, 0x0010, "[BRACKET]*"}}, {"A6"}},
      {{{0x0008, 0x0090, "smith^ann"}}, {"A1"}},
      // Other text keys keep their case.
      {{{0x0008, 0x0050, "A1"}}, {"A1"}},
      {{{0x0008, 0x0050, "a1"}}, {}},
      {{{0x0008, 0x0060, "CT", true}}, {"A1", "A3", "A4", "A6"}},
      {{{0x0008, 0x0060, "C*", true}}, {"A1", "A3", "A4", "A6"}},
      {{{0x0008, 0x0060, "ct", true}}, {}},
      {{{0x0010, 0x0040, "M"}}, {"A1"}},
      {{{0x0040, 0x0009, "SA2", true}}, {"A2"}},
      {{{0x0040, 0x0020, "SCHEDULED", true}}, all},
      {{{0x0040, 0x0020, "ARRIVED", true}}, {}},
      // List of UIDs.
      {{{0x0020, 0x000D, "1.2.3.1\\1.2.3.3"}}, {"A1", "A3"}},
      {{{0x0020, 0x000D, "1.2.3.4"}}, {"A4"}},
      {{{0x0020, 0x000D, "1.2.3"}}, {}},
      // Dates, times and the step's start as one date-time range.
      {{{0x0010, 0x0030, "19700101"}}, {"A1"}},
      {{{0x0010, 0x0030, "-19691231"}}, {}},
      {{{0x0040, 0x0002, "20270108", true}}, {"A1", "A2"}},
      {{{0x0040, 0x0002, "2027.01.08", true}}, {"A1", "A2"}},
      {{{0x0040, 0x0002, "20270109-", true}}, {"A3", "A4", "A5", "A6"}},
      {{{0x0040, 0x0002, "-20270108", true}}, {"A1", "A2"}},
      {{{0x0040, 0x0002, "20270108 - 20270109", true}}, {"A1", "A2", "A3", "A4"}},
      {{{0x0040, 0x0003, "1400-", true}}, {"A2", "A4"}},
      {{{0x0040, 0x0003, "-0745", true}}, {"A3", "A5"}},
      {{{0x0040, 0x0003, "1200", true}}, {"A6"}},
      {{{0x0040, 0x0003, "09:30:00", true}}, {"A1"}},
      {{{0x0040, 0x0002, "20270108-20270109", true}, {0x0040, 0x0003, "1400-", true}}, {"A2", "A3", "A4"}},
      {{{0x0040, 0x0002, "20270108-20270109", true}, {0x0040, 0x0003, "2200-0800", true}}, {"A3"}},
      {{{0x0040, 0x0002, "20270109-", true}, {0x0040, 0x0003, "2300-", true}}, {"A5", "A6"}},
      {{{0x0040, 0x0002, "-20270109", true}, {0x0040, 0x0003, "-0745", true}}, {"A1", "A2", "A3"}},
      {{{0x0040, 0x0002, "20270109", true}, {0x0040, 0x0003, "0700-0800", true}}, {"A3"}},
      // Keys together restrict together, wherever they stand.
      {{{0x0010, 0x0010, "DOE*"}, {0x0008, 0x0060, "CT", true}, {0x0040, 0x0002, "20270109", true}}, {"A3"}},
      // A return key's value and the station key without FilterByAET do not restrict.
      {{{0x0040, 0x0011, "ROOM1", true}, {0x0040, 0x0001, "MR01", true}}, all},
  };
  for (const Case& c : cases) EXPECT_EQ(Matches(c.keys), c.expected) << Described(c.keys);
}

TEST_F(Matching, ValuesThatCannotBeProcessedAreRefused) {
  struct Case {
    Key key;
    std::uint32_t offending;
  };
  const std::vector<Case> cases = {
      {{0x0040, 0x0002, "TOMORROW", true}, 0x00400002},
      {{0x0040, 0x0002, "20271301", true}, 0x00400002},
      {{0x0040, 0x0002, "2027010", true}, 0x00400002},
      {{0x0040, 0x0002, "20270101-20270102-20270103", true}, 0x00400002},
      {{0x0040, 0x0003, "2500", true}, 0x00400003},
      {{0x0040, 0x0003, "14h", true}, 0x00400003},
      {{0x0010, 0x0030, "1970", false}, 0x00100030},
      {{0x0020, 0x000D, "1.2.3.*", false}, 0x0020000D},
      {{0x0020, 0x000D, "1.2\\\\1.3", false}, 0x0020000D},
  };
  for (const Case& c : cases) {
    const WorklistQuery query = TranslateWorklistQuery(Identifier({c.key}), "");
    EXPECT_EQ(query.Refusal.Status, 0xC000) << c.key.value;
    EXPECT_EQ(query.Refusal.Offending, c.offending) << c.key.value;
    EXPECT_NE(query.Refusal.Comment.find(c.key.value), std::string::npos) << query.Refusal.Comment;
    EXPECT_TRUE(query.Selection.Conditions.empty());
  }
}

TEST_F(Matching, ReturnKeysSentWithAValueAreReportedAsNotMatched) {
  DcmObj id = Identifier({{0x0040, 0x0011, "ROOM1", true},
                          {0x0010, 0x2000, "LATEX", false},
                          {0x0040, 0x0001, "CT01", true},  // configured off, not unsupported
                          {0x0008, 0x0005, "ISO_IR 100", false},
                          {0x0010, 0x0020, "12345", false}});
  id.AddSequence(0x0040, 0x0008, SequenceOf({DcmTag(0x0008, 0x0100, "X1")}));  // a code sequence with a value
  std::vector<std::uint32_t> unsupported;
  ASSERT_FALSE(ShapeWorklistIdentifier(id, unsupported));
  const WorklistQuery query = TranslateWorklistQuery(id, "");
  unsupported.insert(unsupported.end(), query.Unsupported.begin(), query.Unsupported.end());
  EXPECT_EQ(unsupported, (std::vector<std::uint32_t>{0x00400008, 0x00102000, 0x00400011}));
  ServerSettings.FilterByAET = true;
  EXPECT_EQ(TranslateWorklistQuery(id, "").Unsupported, (std::vector<std::uint32_t>{0x00102000, 0x00400011}));
  EXPECT_EQ(Matches({{0x0040, 0x0001, "CT0*", true}}).size(), 6u);
  EXPECT_EQ(Matches({{0x0040, 0x0001, "MR01", true}}), Accessions{});
}

TEST_F(Matching, SequenceKeysHoldOneItem) {
  DcmObj twoItems;
  auto sequence = SequenceOf({DcmTag(0x0008, 0x0060, "CT")});
  sequence->AddSequence(0xFFFE, 0xE000, std::make_unique<DcmObj>());
  twoItems.AddSequence(0x0040, 0x0100, std::move(sequence));
  std::vector<std::uint32_t> unsupported;
  const QueryRefusal refusal = ShapeWorklistIdentifier(twoItems, unsupported);
  EXPECT_EQ(refusal.Status, 0xA900);
  EXPECT_EQ(refusal.Offending, 0x00400100u);
}

TEST_F(Matching, OnlyScheduledRowsInNameOrder) {
  ExecSql("UPDATE Worklist SET SPSStatus='IN PROGRESS' WHERE AccessionNumber='A6'");
  DcmObj id;
  id.Add(EmptyElement(0x0008, 0x0050));
  id.Add(DcmTag(0x0008, 0x0060, "CT"));
  id.Add(EmptyElement(0x0010, 0x0010));
  Rows rows;
  std::string columns;
  ASSERT_TRUE(QueryRows(id, rows, columns, ""));
  EXPECT_EQ(rows, (Rows{{"A4", "CT", "50%_OFF^X"}, {"A3", "CT", "DOEHLER^ANNA^^"}, {"A1", "CT", "DOE^JOHN"}}));
  EXPECT_EQ(columns, "AccessionNumber, Modality, PatientName");
  EXPECT_NE(Log().find("INFO, WLQuery Count=3"), std::string::npos);
  EXPECT_EQ(Log().find("INFO, (0008,0060)"), std::string::npos);
  ServerSettings.LogLevel = 2;  // debug: each matching value is dumped
  ASSERT_TRUE(QueryRows(id, rows, columns, ""));
  EXPECT_NE(Log().find("INFO, (0008,0060)"), std::string::npos) << Log();

  DcmObj none;  // no listed attribute: every SCHEDULED entry, all columns
  ASSERT_TRUE(QueryRows(none, rows, columns, ""));
  EXPECT_EQ(rows.size(), 5u);
  EXPECT_EQ(columns, "*");
}

TEST_F(Matching, StationFilterPinsStationAndModality) {
  ExecSql("UPDATE Worklist SET ScheduledStation='CT02' WHERE AccessionNumber='A3'");
  EXPECT_EQ(FilterLookup("CT01"), "");  // no file: no filter
  WriteFilterFile(folder_, "MR01|MR\r\nct01|MR\rCT01|CT\nCT01|MR\r\nUS01\n");
  EXPECT_EQ(FilterLookup("CT01"), "CT01|CT");
  EXPECT_EQ(FilterLookup("US01"), "US01");
  EXPECT_EQ(FilterLookup("CT0"), "");

  Rows rows;
  std::string columns;
  ASSERT_TRUE(QueryRows(Identifier({{0x0008, 0x0060, "MR"}}), rows, columns, FilterLookup("CT01")));
  EXPECT_TRUE(rows.empty());  // asks for MR, the filter still wins
  ASSERT_TRUE(QueryRows(Identifier({}), rows, columns, FilterLookup("CT01")));
  EXPECT_EQ(rows, (Rows{{"A4"}, {"A1"}, {"A6"}}));
  ASSERT_TRUE(QueryRows(Identifier({}), rows, columns, FilterLookup("US01")));  // a line without modality
  EXPECT_TRUE(rows.empty());
}

TEST_F(Matching, MissingDatabaseFailsWithItsLogLine) {
  SQLITE_ONLY("removes the database file");
  std::filesystem::remove(folder_ + "database/quillat.db");
  Rows rows;
  std::string columns;
  EXPECT_FALSE(QueryRows(Identifier({}), rows, columns, ""));
  EXPECT_NE(Log().find("ERROR, Couldn't open quillat database"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "database/quillat.db"));
}

TEST_F(Matching, TypicalQueryIsServedByAnIndexAndWorksWithoutOne) {
  SQLITE_ONLY("reads SQLite's query plans and indexes");
  const DcmObj id = Identifier({{0x0008, 0x0060, "CT", true}, {0x0040, 0x0002, "20270108", true}});
  SqlStatement statement;
  std::string error;
  ASSERT_TRUE(WorklistSelectStatement(TranslateWorklistQuery(id, "").Selection, statement, error)) << error;
  const std::string select = statement.Logged();
  SQLdb db("quillat", SQLdb::ReadOnly);
  std::vector<std::string> plan;
  ASSERT_EQ(db.Query("EXPLAIN QUERY PLAN " + select, plan), 0);
  std::string planText;
  for (const std::string& line : plan) planText += line + "\n";
  EXPECT_NE(planText.find("USING INDEX"), std::string::npos) << planText;
  EXPECT_EQ(planText.find("SCAN Worklist"), std::string::npos) << planText;

  // A database made before the indexes existed answers the same.
  std::vector<std::string> indexes;
  ASSERT_EQ(db.Query("SELECT name FROM sqlite_master WHERE type='index' AND sql IS NOT NULL", indexes), 0);
  for (const std::string& index : indexes) ExecSql("DROP INDEX " + index.substr(0, index.size() - 1));
  EXPECT_EQ(Matches({{0x0008, 0x0060, "CT", true}, {0x0040, 0x0002, "20270108", true}}), Accessions{"A1"});
}

}  // namespace tarvelin
