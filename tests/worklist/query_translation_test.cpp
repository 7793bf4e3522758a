// The worklist identifier → SELECT translation and the query it runs.
#include <filesystem>
#include <fstream>

#include "db/sqldb.h"
#include "service/settings.h"
#include "worklist/station_filter.h"
#include "support/text_rows_vectors.h"
#include "worklist/worklist_query.h"
#include "worklist_fixture.h"

using namespace std::string_literals;

namespace {

using Row = std::vector<std::string>;
using Rows = std::vector<Row>;

bool QueryRows(const DcmObj& identifier, Rows& rows, std::string& columns, const std::string& filterLine) {
  TextRows table;
  const bool ok = WLQuery(identifier, table, columns, filterLine);
  rows = AsVectors(table);
  return ok;
}

std::string Select(const DcmObj& identifier, const std::string& filterLine = "") {
  std::string columns;
  return WorklistSelect(identifier, filterLine, columns);
}

std::string NameCondition(const std::string& bytes) {
  DcmObj id;
  id.Add(RawElement(0x0010, 0x0010, bytes));
  return Select(id);
}

std::string DateSelect(const std::string& value) {
  DcmObj id;
  id.Add(RawElement(0x0040, 0x0002, value));
  return Select(id);
}

void WriteFilterFile(const std::string& folder, const std::string& text) {
  std::ofstream(folder + "wlfilter.txt", std::ios::binary) << text;
}

}  // namespace

using QueryTranslation = WorklistInstance;

TEST_F(QueryTranslation, NameAndModalityGiveTheDocumentedSelect) {
  DcmObj id;
  id.Add(EmptyElement(0x0008, 0x0005));  // not a listed element: adds nothing
  id.Add(DcmTag(0x0008, 0x0060, "CT"));
  id.Add(EmptyElement(0x0010, 0x0010));
  std::string columns;
  EXPECT_EQ(WorklistSelect(id, "", columns),
            "SELECT Modality, PatientName from Worklist  WHERE Modality = 'CT' AND "
            "SPSStatus='SCHEDULED' ORDER BY PatientName");
  EXPECT_EQ(columns, "Modality, PatientName");
  ServerSettings.LogLevel = 2;  // debug: each matching value is dumped
  WorklistSelect(id, "", columns);
  EXPECT_NE(Log().find("INFO, (0008,0060)"), std::string::npos) << Log();
}

TEST_F(QueryTranslation, NoListedElementSelectsEverythingScheduled) {
  DcmObj id;
  id.Add(DcmTag(0x0008, 0x0005, "ISO_IR 100"));
  std::string columns;
  EXPECT_EQ(WorklistSelect(id, "", columns),
            "SELECT * from Worklist WHERE SPSStatus='SCHEDULED' ORDER BY PatientName");
  EXPECT_EQ(columns, "*");
}

TEST_F(QueryTranslation, TrailingWildcardAndPadByteAreRemoved) {
  const std::string prefixDoe = "PatientName LIKE 'DOE%'";
  EXPECT_NE(NameCondition("DOE*").find(prefixDoe), std::string::npos);
  EXPECT_NE(NameCondition("DOE* ").find(prefixDoe), std::string::npos);
  EXPECT_NE(NameCondition("DOE").find(prefixDoe), std::string::npos);
  EXPECT_NE(NameCondition("DOE*\0"s).find(prefixDoe), std::string::npos);
  EXPECT_NE(NameCondition("D*E ").find("PatientName LIKE 'D*E%'"), std::string::npos);
  // A "*" before the last character is not a wildcard position.
  EXPECT_NE(NameCondition("AB*C").find("PatientName LIKE 'AB*C%'"), std::string::npos);
  EXPECT_EQ(PrepareMatchValue(RawElement(0x0010, 0x0010, "  DOE\0XYZ"s)), "DOE");
}

TEST_F(QueryTranslation, AccessionWildcardAloneGivesNoCondition) {
  DcmObj id;
  id.Add(DcmTag(0x0008, 0x0050, "*"));
  EXPECT_EQ(Select(id), "SELECT AccessionNumber from Worklist WHERE SPSStatus='SCHEDULED' ORDER BY PatientName");
  DcmObj exact;
  exact.Add(DcmTag(0x0008, 0x0050, "A100"));
  EXPECT_NE(Select(exact).find(" WHERE AccessionNumber = 'A100' AND SPSStatus="), std::string::npos);
}

TEST_F(QueryTranslation, FourDateFormsWithAndWithoutBlanks) {
  const std::string head = "SELECT SPSDate from Worklist  WHERE ";
  const std::string tail = " AND SPSStatus='SCHEDULED' ORDER BY PatientName";
  EXPECT_EQ(DateSelect("20240315"), head + " SPSDate = '20240315'" + tail);
  EXPECT_EQ(DateSelect("-20240315"), head + " SPSDate <= '20240315'" + tail);
  EXPECT_EQ(DateSelect("- 20240315"), head + " SPSDate <= '20240315'" + tail);
  EXPECT_EQ(DateSelect("20240301-"), head + " SPSDate >= '20240301'" + tail);
  EXPECT_EQ(DateSelect("20240301 -"), head + " SPSDate >= '20240301'" + tail);
  const std::string range = head + " SPSDate >= '20240301' AND SPSDate <= '20240331'" + tail;
  EXPECT_EQ(DateSelect("20240301-20240331"), range);
  EXPECT_EQ(DateSelect("20240301 - 20240331"), range);
}

TEST_F(QueryTranslation, QuotesInValuesCannotEndTheLiteral) {
  EXPECT_NE(NameCondition("O'BRIEN*").find("PatientName LIKE 'O''BRIEN%'"), std::string::npos);
  EXPECT_NE(DateSelect("x' OR '1'='1").find("SPSDate = 'x'' OR ''1''=''1'"), std::string::npos);

  Insert(Entry("A1", "O'BRIEN^JOHN"));
  Insert(Entry("A2", "OBRIEN^JANE"));
  DcmObj id;
  id.Add(RawElement(0x0010, 0x0010, "O'BRIEN*"));
  Rows rows;
  std::string columns;
  ASSERT_TRUE(QueryRows(id, rows, columns, ""));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], Row{"O'BRIEN^JOHN"});
}

TEST_F(QueryTranslation, StationAETitleRestrictsOnlyWithFilterByAET) {
  DcmObj id;
  id.Add(DcmTag(0x0040, 0x0001, "CT01"));
  EXPECT_EQ(Select(id), "SELECT ScheduledStation from Worklist WHERE SPSStatus='SCHEDULED' ORDER BY PatientName");
  ServerSettings.FilterByAET = true;
  EXPECT_NE(Select(id).find(" WHERE ScheduledStation = 'CT01' AND SPSStatus="), std::string::npos);
}

TEST_F(QueryTranslation, KeysInsideSequencesCountLikeTopLevelOnes) {
  DcmObj nested;
  nested.Add(EmptyElement(0x0010, 0x0010));
  nested.AddSequence(0x0040, 0x0100,
                     SequenceOf({DcmTag(0x0008, 0x0060, "MR"), RawElement(0x0040, 0x0002, "20240315")}));
  EXPECT_EQ(Select(nested),
            "SELECT PatientName, Modality, SPSDate from Worklist  WHERE Modality = 'MR' AND  SPSDate = "
            "'20240315' AND SPSStatus='SCHEDULED' ORDER BY PatientName");

  DcmObj undefinedLengths;
  undefinedLengths.Add(EmptyElement(0x0010, 0x0010));
  undefinedLengths.AddSequence(0x0040, 0x0100,
                               UndefinedLengths(SequenceOf({DcmTag(0x0008, 0x0060, "MR"), EmptyElement(0x0040, 0x0003)})));
  EXPECT_EQ(Select(undefinedLengths),
            "SELECT PatientName, Modality, SPSTime from Worklist  WHERE Modality = 'MR' AND "
            "SPSStatus='SCHEDULED' ORDER BY PatientName");

  // A condition after a sequence that already wrote WHERE continues with AND.
  DcmObj after;
  after.AddSequence(0x0040, 0x0100, SequenceOf({DcmTag(0x0008, 0x0060, "MR")}));
  after.Add(DcmTag(0x0040, 0x0001, "MR7"));  // out of tag order on purpose
  ServerSettings.FilterByAET = true;
  EXPECT_NE(Select(after).find(" WHERE Modality = 'MR' AND ScheduledStation = 'MR7' AND SPSStatus="),
            std::string::npos);
}

TEST_F(QueryTranslation, OnlyScheduledRowsInNameOrder) {
  Insert(Entry("A1", "ZED^ANNA"));
  Insert(Entry("A2", "ADAMS^BOB"));
  Insert(Entry("A3", "MILLER^CARL"));
  WorklistDB done = Entry("A4", "BAKER^DORA");
  done.SPSStatus = "COMPLETED";
  Insert(done);
  WorklistDB mr = Entry("A5", "CLARK^EVE");
  mr.Modality = "MR";
  Insert(mr);

  DcmObj id;
  id.Add(EmptyElement(0x0008, 0x0050));
  id.Add(DcmTag(0x0008, 0x0060, "CT"));
  id.Add(EmptyElement(0x0010, 0x0010));
  Rows rows;
  std::string columns;
  ASSERT_TRUE(QueryRows(id, rows, columns, ""));
  EXPECT_EQ(rows, (Rows{{"A2", "CT", "ADAMS^BOB"}, {"A3", "CT", "MILLER^CARL"}, {"A1", "CT", "ZED^ANNA"}}));
  EXPECT_NE(Log().find("INFO, WLQuery Count=3"), std::string::npos);

  DcmObj all;  // no keys at all: every SCHEDULED entry, any modality
  rows.clear();
  ASSERT_TRUE(QueryRows(all, rows, columns, ""));
  EXPECT_EQ(rows.size(), 4u);
  EXPECT_EQ(columns, "*");
}

TEST_F(QueryTranslation, StationFilterPinsStationAndModality) {
  Insert(Entry("A1", "ADAMS^BOB"));  // CT at CT01
  WorklistDB other = Entry("A2", "BAKER^DORA");
  other.ScheduledStation = "CT02";
  Insert(other);
  WorklistDB mr = Entry("A3", "CLARK^EVE");
  mr.Modality = "MR";
  Insert(mr);

  EXPECT_EQ(FilterLookup("CT01"), "");  // no file: no filter
  WriteFilterFile(folder_, "MR01|MR\r\nct01|MR\rCT01|CT\nCT01|MR\r\nUS01\n");
  EXPECT_EQ(FilterLookup("CT01"), "CT01|CT");
  EXPECT_EQ(FilterLookup("US01"), "US01");
  EXPECT_EQ(FilterLookup("CT0"), "");

  DcmObj id;
  id.Add(DcmTag(0x0008, 0x0060, "MR"));  // asks for MR, the filter still wins
  id.Add(EmptyElement(0x0008, 0x0050));
  Rows rows;
  std::string columns;
  ASSERT_TRUE(QueryRows(id, rows, columns, FilterLookup("CT01")));
  EXPECT_TRUE(rows.empty());
  DcmObj any;
  any.Add(EmptyElement(0x0008, 0x0050));
  ASSERT_TRUE(QueryRows(any, rows, columns, FilterLookup("CT01")));
  EXPECT_EQ(rows, Rows{{"A1"}});
  rows.clear();
  ASSERT_TRUE(QueryRows(any, rows, columns, FilterLookup("US01")));  // a line without modality
  EXPECT_TRUE(rows.empty());
}

TEST_F(QueryTranslation, MissingDatabaseFailsWithItsLogLine) {
  std::filesystem::remove(folder_ + "database/quillat.db");
  DcmObj id;
  Rows rows;
  std::string columns;
  EXPECT_FALSE(QueryRows(id, rows, columns, ""));
  EXPECT_NE(Log().find("ERROR, Couldn't open quillat database"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(folder_ + "database/quillat.db"));
}

TEST_F(QueryTranslation, TypicalQueryIsServedByAnIndexAndWorksWithoutOne) {
  Insert(Entry("A1", "ADAMS^BOB"));
  DcmObj id;
  id.Add(EmptyElement(0x0010, 0x0010));
  id.AddSequence(0x0040, 0x0100,
                 SequenceOf({DcmTag(0x0008, 0x0060, "CT"), RawElement(0x0040, 0x0002, "20240315")}));
  std::string columns;
  const std::string select = WorklistSelect(id, "", columns);
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
  Rows rows;
  ASSERT_TRUE(QueryRows(id, rows, columns, ""));
  EXPECT_EQ(rows, (Rows{{"ADAMS^BOB", "CT", "20240315"}}));
}
