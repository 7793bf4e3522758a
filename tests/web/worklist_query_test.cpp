// The worklist query fragment against a real database: conditions, paging,
// rights, escaping and the indexes it walks.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "support/database_folder.h"
#include "support/log_file.h"
#include "support/pinned_clock.h"
#include "web/worklist_pages.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {
class WorklistQueryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(folder_.Problem(), ""); }

  // `count` entries PATIENT01.. (accession A01..) on 20240315.
  void InsertPatients(int count, const std::string& name = "DOE^PATIENT") {
    SQLdb db("quillat", SQLdb::ReadWrite);
    for (int i = 1; i <= count; ++i) {
      char number[12];
      std::snprintf(number, sizeof number, "%02d", i);
      WorklistDB e;
      e.AccessionNumber = std::string("A") + number;
      e.PatientName = name + number;
      e.PatientID = std::string("ID") + number;
      e.Modality = "CT";
      e.SPSDate = "20240315";
      e.SPSStatus = "SCHEDULED";
      ASSERT_EQ(e.Insert(db), 0);
    }
  }

  DatabaseFolder folder_{"webquery"};
};

TEST_F(WorklistQueryTest, ConditionsFollowTheForm) {
  PinnedClock today(2024, 3, 15, 10, 0, 0);
  const std::string t = "'20240315'";
  const std::pair<ParamList, std::string> cases[] = {
      {{"PatientID=", "LastName=LAST", "FirstName=FIRST", "DateFrom=2024-03-15", "DateTo=2024-03-15",
        "Modality=0", "Offset=0"},
       " WHERE SPSDate >= " + t + " AND SPSDate <= " + t},
      {{"LastName=DOE", "FirstName=JOHN"}, " WHERE PatientName LIKE 'DOE^JOHN%'"},
      {{"LastName=DOE", "FirstName="}, " WHERE PatientName LIKE 'DOE%'"},
      {{"LastName=LAST", "FirstName=JOHN"}, ""},
      {{"PatientName=X", "LastName=DOE"}, " WHERE PatientName LIKE 'DOE%'"},
      {{"DateFrom=", "DateTo=", "Modality=0"}, ""},
      {{"PatientID=123", "DateFrom=2024-03-15", "DateTo=2024-03-15", "Modality=2"},
       " WHERE PatientID ='123' AND SPSDate >= " + t + " AND SPSDate <= " + t + " AND Modality = 'CT'"},
      {{"DateTo=2024-03-15", "Modality=11"}, " WHERE SPSDate <= " + t + " AND Modality = 'ECG'"},
      {{"Modality=13"}, ""},
      {{"PatientID=1", "PatientID=O'BRIEN"}, " WHERE PatientID ='O''BRIEN'"},  // the later one counts
  };
  for (const auto& [params, condition] : cases) EXPECT_EQ(WLQueryCondition(params), condition) << condition;
}

TEST_F(WorklistQueryTest, PagesTenAtATime) {
  InsertPatients(25);
  struct Case {
    const char* offset;
    const char* page;
    const char* previous;
    const char* next;
    const char* firstRow;
    int rows;
  } cases[] = {
      {"0", "Page 1/3", "FormPage(0)", "FormPage(10)", "A01", 10},
      {"20", "Page 3/3", "FormPage(10)", "FormPage(20)", "A21", 5},  // Next stays on the last page
      {"15", "Page 2/3", "FormPage(5)", "FormPage(20)", "A16", 10},
      {"abc", "Page 1/3", "FormPage(0)", "FormPage(10)", "A01", 10},
      {"-30", "Page 1/3", "FormPage(0)", "FormPage(10)", "A01", 10},
  };
  for (const Case& c : cases) {
    const std::string grid = WLQueryDisplay({"DateFrom=", "DateTo=", std::string("Offset=") + c.offset}, 0);
    EXPECT_THAT(grid, HasSubstr(c.page)) << c.offset;
    EXPECT_THAT(grid, HasSubstr(std::string("<TD onclick='") + c.previous + "';\" align=\"center\" width=\"25%\"><b>Previous"));
    EXPECT_THAT(grid, HasSubstr(std::string("<TD onclick='") + c.next + "';\" align=\"center\" width=\"25%\"><b>Next"));
    EXPECT_THAT(grid, HasSubstr(std::string("NAME=\"AccessionNumber\" SIZE=\"15\" VALUE=\"") + c.firstRow + "\""));
    EXPECT_EQ(CountOf(grid, "NAME=\"CHECK\""), c.rows) << c.offset;
  }
}

TEST_F(WorklistQueryTest, TenRowsAreOnePageAndDeleteIsForAdminsOnly) {
  EXPECT_EQ(WLQueryDisplay({}, 1), "<p align=\"center\"><b>There are no results</b>");
  InsertPatients(10);
  const std::string general = WLQueryDisplay({}, 0);
  EXPECT_THAT(general, HasSubstr("FormPage(0)';\" align=\"center\" width=\"25%\"><b>Next"));
  EXPECT_THAT(general, HasSubstr("Page 1/1"));
  EXPECT_THAT(general, HasSubstr("action=\"form_wlquery\""));
  EXPECT_THAT(general, HasSubstr("name=\"Edit\""));
  EXPECT_THAT(general, Not(HasSubstr("name=\"Delete\"")));
  EXPECT_THAT(WLQueryDisplay({}, 1), HasSubstr("<input type=\"submit\" value=\"Delete\" name=\"Delete\">"));
  // Dates and times as the locale shows them, in the order of the columns.
  EXPECT_THAT(general, HasSubstr("VALUE=\"ID01\"></td>\r\n<td><INPUT TYPE=\"TEXT\" NAME=\"PatientName\" SIZE=\"15\" VALUE=\"DOE^PATIENT01\""));
}

TEST_F(WorklistQueryTest, StoredValuesAreShownAsText) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  WorklistDB e;
  e.AccessionNumber = "X\"><script>alert(1)</script>";
  e.PatientName = "<img src=x onerror=alert(1)>^O'BRIEN & \xC3\xA9";  // UTF-8 from HL7
  e.PatientID = "1";
  e.Modality = "CT";
  ASSERT_EQ(e.Insert(db), 0);
  const std::string grid = WLQueryDisplay({}, 1);
  EXPECT_THAT(grid, HasSubstr("VALUE=\"X&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;\""));
  EXPECT_THAT(grid, HasSubstr("VALUE=\"&lt;img src=x onerror=alert(1)&gt;^O&#39;BRIEN &amp; \xE9\""));
  EXPECT_THAT(grid, Not(HasSubstr("<script>")));
  EXPECT_THAT(grid, Not(HasSubstr("<img")));
}

TEST_F(WorklistQueryTest, APageReadsAnIndexNotTheTable) {
  InsertPatients(30);
  SQLdb db("quillat", SQLdb::ReadOnly);
  const std::string columns = "SELECT AccessionNumber from Worklist ";
  const std::string order = " ORDER BY PatientName, AccessionNumber LIMIT 10 OFFSET 20";
  const std::string queries[] = {
      "SELECT COUNT(*) from Worklist " + WLQueryCondition({"DateFrom=2024-03-01", "DateTo=2024-03-31"}),
      "SELECT COUNT(*) from Worklist " + WLQueryCondition({"LastName=DOE"}),
      columns + WLQueryCondition({}) + order,
      columns + WLQueryCondition({"DateFrom=2024-03-01", "DateTo=2024-03-31"}) + order,
      columns + WLQueryCondition({"LastName=doe", "FirstName=pat"}) + order,
      columns + WLQueryCondition({"PatientID=ID07"}) + order,
  };
  for (const auto& sql : queries) {
    std::vector<std::string> plan;
    ASSERT_EQ(db.Query("EXPLAIN QUERY PLAN " + sql, plan), 0) << sql;
    std::string text;
    for (const auto& line : plan) text += line + "\n";
    EXPECT_THAT(text, HasSubstr("INDEX")) << sql << "\n" << text;
    EXPECT_THAT(text, Not(HasSubstr("SCAN Worklist;"))) << sql << "\n" << text;
  }
}
}  // namespace
