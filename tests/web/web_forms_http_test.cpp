// The worklist and user forms through the running server, with curl as the
// client: what other systems send to "wlprocess" and "wlsetstatus", hostile
// values through every form, and the grid's Edit and Delete.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "service/settings.h"
#include "support/child_process.h"
#include "support/hostile_values.h"
#include "web/html_escape.h"
#include "web_instance.h"

using ::testing::HasSubstr;
using ::testing::Not;

namespace {
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs operator+(Pairs a, const Pairs& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class WebFormsHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(web_.Prepare(), "");
    ASSERT_TRUE(web_.Start()) << web_.Server().Log() << web_.Server().Console();
  }
  // The pairs url-encoded as a form POST (with "-G" in front: as a query text).
  static std::string Data(const Pairs& pairs) {
    std::string options;
    for (const auto& [name, value] : pairs) options += " --data-urlencode " + ShellQuote(name + "=" + value);
    return options;
  }
  std::string Clerk(const std::string& path, const std::string& options) const {
    return web_.Request(path, "clerk", kClerkPassword, options).body;
  }
  std::string Admin(const std::string& path, const std::string& options) const { return web_.Admin(path, options).body; }
  // `columns` of the entry `accession` joined by "|", exactly as stored.
  std::string Stored(const std::string& columns, const std::string& accession) const {
    ServerSettings.ProgramFolder = web_.Server().Home();
    SQLdb db("quillat", SQLdb::ReadOnly);
    TextRows rows;
    db.QueryValues("SELECT " + columns + " FROM Worklist WHERE AccessionNumber=" + SqlQuote(accession), rows);
    if (rows.Count() != 1) return "<none>";
    std::string joined;
    for (std::size_t c = 0; c < rows.Columns(); ++c) joined += (c == 0 ? "" : "|") + std::string(rows.Value(0, c));
    return joined;
  }
  WebInstance web_{"webforms"};
};

TEST_F(WebFormsHttpTest, OtherSystemsAddAnEntryAndSetItsStatusWithOneRequestEach) {
  const Pairs order = {{"PatientID", "P7"}, {"PatientName", "O'BRIEN^ANN"}, {"PatientBD", "1970-01-02"},
                       {"PatientSex", "F"}, {"Modality", "MR"},             {"StartDate", "20240315"},
                       {"StartTime", "0930"}, {"AccessionNumber", "H1"},    {"StationAET", "MR01"}};
  EXPECT_THAT(Clerk("/wlprocess", "-G" + Data(order)), HasSubstr("Added Worklist entry for Patient=O&#39;BRIEN^ANN<br>"));
  EXPECT_EQ(Stored("PatientBD, ScheduledStation, SPSID", "H1"), "19700102|MR01|H11");  // first entry since start
  const std::pair<std::string, std::string> answers[] = {
      {"/wlprocess?" + std::string("PatientID=P7&PatientName=X&PatientBD=1&PatientSex=F&Modality=MR&StartDate=1&"
                                   "StartTime=1&AccessionNumber=H1"),
       "ERROR adding procedure: Accession Number already used: H1"},
      {"/wlprocess?PatientID=&LastName=LAST&FirstName=FIRST", "<BR>\r\n<b>ERROR, Patient ID is empty</b><br>\r\n<BR>"},
      {"/wlsetstatus?AccessionNumber=H1&SPSStatus=COMPLETED", " Updated Worklist entry for Accession Number=H1<br>"},
      {"/wlsetstatus?AccessionNumber=NO&SPSStatus=COMPLETED", "ERROR, WLSetStatus, Updating status: no entry with Accession Number=NO"},
      {"/wlsetstatus?AccessionNumber=H1&SPSStatus=DONE", "ERROR, WLSetStatus, Updating status: not a status: DONE"},
      {"/wlsetstatus?SPSStatus=COMPLETED", "ERROR, Accesion Number is Empty"},
      {"/wlsetstatus?AccessionNumber=H1", "ERROR, SPSStatus is Empty"},
  };
  for (const auto& [request, answer] : answers) EXPECT_THAT(Clerk(request, ""), HasSubstr(answer)) << request;
  EXPECT_EQ(Stored("SPSStatus", "H1"), "COMPLETED");
  EXPECT_THAT(web_.Server().Log(), HasSubstr("INFO, wlprocess URL: PatientID=P7&PatientName=O%27BRIEN%5"));
}

TEST_F(WebFormsHttpTest, HostileValuesPassEveryFormAsTextAndAreStoredAsSent) {
  std::vector<std::string> values = HostileMarkupValues();
  // All but the every-byte value, whose blanks and control characters the edit form trims at its ends.
  values.insert(values.end(), HostileSqlValues().begin(), HostileSqlValues().end() - 1);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string& v = values[i];
    const std::string id = "X" + std::to_string(i);
    const std::string answers[] = {
        Clerk("/wlprocess", Data({{"PatientID", v}, {"LastName", v}, {"FirstName", "F"}, {"PatientBD", "2024-01-02"},
                                  {"PatientSex", "O"}, {"Modality", "CT"}, {"ReferringPysician", v},
                                  {"ProcedureDescription", v}, {"StartDate", "2024-01-02"}, {"HOUR", "07"},
                                  {"MINUTES", "50"}, {"AccessionNumber", id}})),
        Clerk("/form_wlquery", Data({{"CHECK", "on"}, {"AccessionNumber", id}, {"PatientID", v},
                                     {"PatientName", v + "^F"}, {"ReferringPhysician", v}, {"Modality", v},
                                     {"SPSDescription", v}, {"Edit", "Edit"}})),
        Clerk("/wledit", Data({{"AccessionNumber", id}, {"Modality", v}, {"LastName", v}, {"FirstName", v},
                               {"Save", "Save"}})),
        Clerk("/wlsetstatus", Data({{"AccessionNumber", id}, {"SPSStatus", v}})),
        Admin("/display_users", Data({{"UserName", v}, {"PassWord", v}, {"Rights", "0"}, {"AddNew", "Add New"}})),
        Admin("/display_users", Data({{"UserName", v}, {"Query", "Query"}})),
        Admin("/form_users", Data({{"CHECK", "on"}, {"UserName", v}, {"PassWord", "********"}, {"Rights", "0"},
                                   {"Delete", "Delete"}})),
    };
    const bool colon = v.find(':') != std::string::npos;  // no user name may hold one (Basic authentication)
    EXPECT_THAT(answers[0], HasSubstr("Added Worklist entry for Patient=" + HtmlEscape(v + "^F") + "<br>"));
    EXPECT_THAT(answers[1], HasSubstr("value=\"" + HtmlEscape(v) + "\""));
    EXPECT_THAT(answers[2], HasSubstr("<b>Updated entry in Worklist</b>"));
    // Only the four status words are stored; any other text is refused.
    EXPECT_THAT(answers[3], HasSubstr("ERROR, WLSetStatus, Updating status: not a status: " + HtmlEscape(v)));
    EXPECT_THAT(answers[4], HasSubstr(colon ? "cannot contain" : "Added new entry to users"));
    if (!colon) {
      EXPECT_THAT(answers[5], HasSubstr("VALUE=\"" + HtmlEscape(v) + "\""));
      EXPECT_THAT(answers[6], HasSubstr("<b>Deleted entry <b>" + HtmlEscape(v) + "</b> from users</b>"));
    }
    for (const auto& answer : answers) {
      EXPECT_THAT(answer, Not(HasSubstr("<script>alert")));
      EXPECT_THAT(answer, Not(HasSubstr("<b>bold")));
    }
    EXPECT_EQ(Stored("PatientID, PatientName, ReferringPhysician, SPSDescription, Modality, SPSStatus", id),
              v + "|" + v + "^" + v + "|" + v + "|" + v + "|" + v + "|SCHEDULED");
  }
}

TEST_F(WebFormsHttpTest, TheGridEditsTheFirstTickedRowAndDeletesEveryTickedRow) {
  for (const char* id : {"K1", "K2", "K3"}) ASSERT_TRUE(web_.Insert(ScheduledEntry(id, std::string("DOE^") + id, "20240315")));
  const auto row = [](const std::string& id, bool ticked) {
    return (ticked ? Pairs{{"CHECK", "on"}} : Pairs{}) + Pairs{{"AccessionNumber", id}, {"PatientID", "ID" + id},
                                                             {"PatientName", "DOE^" + id}, {"SPSStatus", "SCHEDULED"}};
  };
  const Pairs grid = row("K1", false) + row("K2", true) + row("K3", true);
  const std::string edit = Clerk("/form_wlquery", Data(grid + Pairs{{"Edit", "Edit"}}));
  EXPECT_THAT(edit, HasSubstr("value=\"K2\" name=\"AccessionNumber\""));
  EXPECT_THAT(edit, Not(HasSubstr("K3")));
  EXPECT_THAT(Admin("/form_wlquery", Data(grid + Pairs{{"Delete", "Delete"}})),
              HasSubstr("<b>Deleted entry <b>K2</b> from Worklist</b><br>\r\n<b>Deleted entry <b>K3</b> from Worklist</b>"));
  EXPECT_EQ(Stored("PatientName", "K1") + Stored("PatientName", "K3"), "DOE^K1<none>");
  // Save with an empty password keeps the stored one.
  EXPECT_THAT(Admin("/edit_users", Data({{"UserName", "clerk"}, {"PassWord", ""}, {"Rights", "1"}, {"Save", "Save"}})),
              HasSubstr("<b>Updated entry in users</b>"));
  EXPECT_EQ(web_.Request("/UserQuery", "clerk", kClerkPassword).status, 200);  // ADMIN now, same password
}
}  // namespace
