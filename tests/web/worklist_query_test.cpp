// The worklist list against a real database: what its address means, the
// read-only table it shows, and the indexes its statements walk.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "db/sqldb.h"
#include "db/worklistdb.h"
#include "support/database_folder.h"
#include "support/log_file.h"
#include "support/pinned_clock.h"
#include "web/list_query.h"
#include "web/worklist_pages.h"

namespace tarvelin {

using ::testing::HasSubstr;
using ::testing::Not;

namespace {
class WorklistQueryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(folder_.Problem(), ""); }

  // `count` entries PATIENT01.. (accession A01..) on 20240315, 10:00 onwards.
  void InsertPatients(int count, const std::string& name = "DOE^PATIENT") {
    SQLdb db("quillat", SQLdb::ReadWrite);
    for (int i = 1; i <= count; ++i) {
      char number[12], time[12];
      std::snprintf(number, sizeof number, "%02d", i);
      std::snprintf(time, sizeof time, "%02d0000", 10 + i % 10);
      WorklistDB e;
      e.AccessionNumber = std::string("A") + number;
      e.PatientName = name + number;
      e.PatientID = std::string("ID") + number;
      e.Modality = "CT";
      e.SPSDate = "20240315";
      e.SPSTime = time;
      e.SPSStatus = "SCHEDULED";
      ASSERT_EQ(e.Insert(db), WriteResult::Done);
    }
  }

  std::string Fragment(const ParamList& params, int rights = 0) const {
    HttpRequest http;
    http.Params = params;
    const ParamList list;
    const std::string user = "anna", token = "T0KEN";
    return WLQueryDisplay(PageRequest{http, list, user, rights, token}).Text;
  }

  DatabaseFolder folder_{"webquery"};
};

TEST_F(WorklistQueryTest, TheAddressGivesTheListAndTheListItsAddress) {
  PinnedClock today(2024, 3, 15, 10, 0, 0);
  const struct {
    ParamList params;
    const char* text;  // ListQueryText of what was read
  } cases[] = {
      {{}, "DateFrom=2024-03-15&DateTo=2024-03-15"},  // today by default
      {{"DateFrom=", "DateTo="}, "DateFrom=&DateTo="},  // every date, when asked
      {{"DateFrom=2024-03-01", "DateTo=2024-03-31", "Status=IN PROGRESS", "Modality=RF", "Station=CT 1",
        "LastName=m\xC3\xBCller", "FirstName=anna", "PatientID=7", "Sort=name", "Order=desc", "PageSize=50", "Page=3"},
       "DateFrom=2024-03-01&DateTo=2024-03-31&Status=IN%20PROGRESS&Modality=RF&Station=CT%201&PatientID=7&"
       "LastName=m%C3%BCller&FirstName=anna&Sort=name&Order=desc&PageSize=50&Page=3"},
      {{"Modality=2", "LastName=LAST", "FirstName=FIRST", "Offset=20", "PageSize=10"},  // older forms
       "DateFrom=2024-03-15&DateTo=2024-03-15&Modality=CT&PageSize=10&Page=3"},
      {{"Modality=0", "Sort=x;DROP", "PageSize=7", "Page=-4"}, "DateFrom=2024-03-15&DateTo=2024-03-15"},
      {{"PatientName=DOE^JO"}, "DateFrom=2024-03-15&DateTo=2024-03-15&LastName=DOE&FirstName=JO"},
      {{"DateFrom=15/03/2024", "DateTo=2024-03-16"}, "DateFrom=2024-03-15&DateTo=2024-03-16"},
  };
  for (const auto& c : cases) {
    const ListQuery q = ReadListQuery(c.params);
    EXPECT_EQ(ListQueryText(q), c.text);
    // What a link carries reads back the same.
    ParamList again;
    SplitParams(again, ListQueryText(q), "");
    EXPECT_EQ(ListQueryText(ReadListQuery(again)), c.text);
  }
  EXPECT_EQ(SafeQueryText("a=1&b=%20\r\nLocation: x<y>"), "a=1&b=%20Locationxy");
}

TEST_F(WorklistQueryTest, TheListIsReadOnlyWithRowsThatOpenTheirEntryByKey) {
  EXPECT_THAT(Fragment({"DateFrom=", "DateTo="}), HasSubstr(">no entries</p>"));
  InsertPatients(30);
  const struct {
    ParamList params;
    const char *count, *page, *firstRow;
    int rows;
  } cases[] = {
      {{"DateFrom=", "DateTo="}, "30 entries", "Page 1 of 2", "A10", 25},  // by start time: 10:00 first
      {{"DateFrom=", "DateTo=", "Page=2"}, "30 entries", "Page 2 of 2", "A18", 5},
      {{"DateFrom=", "DateTo=", "Sort=accession", "Order=desc", "PageSize=10"}, "30 entries", "Page 1 of 3", "A30", 10},
      {{"DateFrom=", "DateTo=", "LastName=doe", "FirstName=patient1"}, "10 entries", "Page 1 of 1", "A10", 10},
      {{"DateFrom=2024-03-15", "DateTo=2024-03-15", "PatientID=ID07"}, "1 entry", "Page 1 of 1", "A07", 1},
  };
  for (const auto& c : cases) {
    const std::string list = Fragment(c.params);
    EXPECT_THAT(list, HasSubstr(std::string(">") + c.count + "</p>"));
    EXPECT_THAT(list, HasSubstr(c.page));
    EXPECT_EQ(CountOf(list, "<tr>") - 1, c.rows) << c.count;
    const std::string link = "form_wlquery?AccessionNumber=";
    const auto first = list.find(link);
    ASSERT_NE(first, std::string::npos) << c.count;
    EXPECT_EQ(list.substr(first + link.size(), 8), c.firstRow + std::string("&amp;")) << c.count;
    EXPECT_THAT(list, Not(HasSubstr("type=\"TEXT\"")));  // nothing in the list can be typed into
    EXPECT_THAT(list, Not(HasSubstr("checkbox")));        // GENERAL users select nothing to delete
  }
  const std::string admin = Fragment({"DateFrom=", "DateTo="}, 1);
  EXPECT_THAT(admin, HasSubstr("<input type=\"checkbox\" name=\"AccessionNumber\" value=\"A10\" aria-label=\"Select A10\">"));
  EXPECT_THAT(admin, HasSubstr("name=\"FormToken\" value=\"T0KEN\""));
  EXPECT_THAT(admin, HasSubstr("<td><time datetime=\"2024-03-15\">2024-03-15</time> 10:00</td>"));
  // Sorting by a column again turns its order round.
  EXPECT_THAT(Fragment({"DateFrom=", "DateTo=", "Sort=name"}),
              HasSubstr("aria-sort=\"ascending\"><a href=\"worklist?DateFrom=&amp;DateTo=&amp;Sort=name&amp;Order=desc\""));
}

TEST_F(WorklistQueryTest, StoredValuesAreShownAsText) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  WorklistDB e;
  e.AccessionNumber = "X\"><script>alert(1)</script>";
  e.PatientName = "<img src=x onerror=alert(1)>^O'BRIEN & \xC3\xA9";  // UTF-8 from HL7
  e.PatientID = "1";
  e.Modality = "C<T";
  ASSERT_EQ(e.Insert(db), WriteResult::Done);
  const std::string list = Fragment({"DateFrom=", "DateTo="}, 1);
  EXPECT_THAT(list, HasSubstr("value=\"X&quot;&gt;&lt;script&gt;alert(1)&lt;/script&gt;\""));
  EXPECT_THAT(list, HasSubstr(">&lt;img src=x onerror=alert(1)&gt;^O&#39;BRIEN &amp; \xC3\xA9</a>"));
  EXPECT_THAT(list, HasSubstr("AccessionNumber=X%22%3E%3Cscript%3Ealert%281%29%3C%2Fscript%3E&amp;"));
  EXPECT_THAT(list, Not(HasSubstr("<script>")));
  EXPECT_THAT(list, Not(HasSubstr("<img")));
}

TEST_F(WorklistQueryTest, APageReadsAnIndexNotTheTable) {
  SQLITE_ONLY("reads SQLite's query plans");
  InsertPatients(30);
  SQLdb db("quillat", SQLdb::ReadOnly);
  const std::string queries[] = {
      "SELECT COUNT(*) FROM Worklist WHERE SPSDate >= '20240301' AND SPSDate <= '20240331'",
      "SELECT * FROM Worklist WHERE SPSDate >= '20240315' AND SPSDate <= '20240315' "
      "ORDER BY SPSDate, SPSTime, AccessionNumber LIMIT 25 OFFSET 25",
      "SELECT * FROM Worklist ORDER BY PatientName, SPSDate, SPSTime, AccessionNumber LIMIT 25",
      "SELECT * FROM Worklist WHERE PatientID = 'ID07' ORDER BY SPSDate, SPSTime, AccessionNumber LIMIT 25",
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

}  // namespace tarvelin
