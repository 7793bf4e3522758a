// The worklist and user forms through the running server, with curl as the
// client: what other systems send to "wlprocess" and "wlsetstatus", hostile
// values through every form, and what GENERAL users may not do.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "service/settings.h"
#include "support/child_process.h"
#include "support/hostile_values.h"
#include "web/html_escape.h"
#include "web_instance.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {
class WebFormsHttpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(web_.Prepare(), "");
    ASSERT_TRUE(web_.Start()) << web_.Server().Log() << web_.Server().Console();
  }
  // curl options sending `pairs` url-encoded (as a form POST, or with -G as a query text).
  static std::string Data(const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::string options;
    for (const auto& [name, value] : pairs) options += " --data-urlencode " + ShellQuote(name + "=" + value);
    return options;
  }
  HttpAnswer Clerk(const std::string& path, const std::string& options) const {
    return web_.Request(path, "clerk", kClerkPassword, options);
  }
  // One column of the entry `accession`, exactly as stored.
  std::string Stored(const std::string& column, const std::string& accession) const {
    ServerSettings.ProgramFolder = web_.Server().Home();
    SQLdb db("quillat", SQLdb::ReadOnly);
    std::vector<std::vector<std::string>> rows;
    db.QueryValues("SELECT " + column + " FROM Worklist WHERE AccessionNumber=" + SqlQuote(accession), rows);
    return rows.size() == 1 ? rows[0][0] : "<none>";
  }
  WebInstance web_{"webforms"};
};

TEST_F(WebFormsHttpTest, OtherSystemsAddAnEntryAndSetItsStatusWithOneRequestEach) {
  const HttpAnswer add = Clerk("/wlprocess", "-G" + Data({{"PatientID", "P7"}, {"PatientName", "O'BRIEN^ANN"},
                                                          {"PatientBD", "1970-01-02"}, {"PatientSex", "F"},
                                                          {"Modality", "MR"}, {"StartDate", "20240315"},
                                                          {"StartTime", "0930"}, {"AccessionNumber", "H1"},
                                                          {"StationAET", "MR01"}, {"ProtocolCode", "P123"},
                                                          {"StudyDescription", "KNEE_L=R"},
                                                          {"StudyInstanceUID", "1.2.3"}}));
  EXPECT_EQ(add.status, 200) << add.curl;
  EXPECT_THAT(add.body, HasSubstr("Added Worklist entry for Patient=O&#39;BRIEN^ANN<br>"));
  EXPECT_EQ(Stored("PatientName || '|' || PatientBD || '|' || ScheduledStation || '|' || "
                   "RequestedProcedureDescription || '|' || SPSDescription || '|' || StudyInstanceUID || '|' || "
                   "SPSID || '|' || SPSStatus",
                   "H1"),
            "O'BRIEN^ANN|19700102|MR01|P123|KNEE_L=R|1.2.3|H11|SCHEDULED");  // first entry since start: H1 + 1

  const HttpAnswer again = Clerk("/wlprocess", Data({{"PatientID", "P7"}, {"PatientName", "X"}, {"PatientBD", "1"},
                                                     {"PatientSex", "F"}, {"Modality", "MR"}, {"StartDate", "1"},
                                                     {"StartTime", "1"}, {"AccessionNumber", "H1"}}));
  EXPECT_THAT(again.body, HasSubstr("ERROR adding procedure: Accession Number already used: H1"));
  EXPECT_THAT(Clerk("/wlprocess", Data({{"PatientID", "P8"}})).body,
              HasSubstr("<b>ERROR, Patient Name is empty</b><br>"));

  EXPECT_THAT(Clerk("/wlsetstatus?AccessionNumber=H1&SPSStatus=COMPLETED", "").body,
              HasSubstr(" Updated Worklist entry for Accession Number=H1<br>"));
  EXPECT_EQ(Stored("SPSStatus", "H1"), "COMPLETED");
  EXPECT_THAT(Clerk("/wlsetstatus?AccessionNumber=NOPE&SPSStatus=COMPLETED", "").body,
              HasSubstr("ERROR, WLSetStatus, Updating status: no entry with Accession Number=NOPE"));
  EXPECT_THAT(Clerk("/wlsetstatus?SPSStatus=COMPLETED", "").body, HasSubstr("ERROR, Accesion Number is Empty"));

  const std::string log = web_.Server().Log();
  EXPECT_THAT(log, HasSubstr("INFO, wlprocess URL: PatientID=P7&PatientName=O%27BRIEN%5"));
  EXPECT_THAT(log, HasSubstr("INFO, wlprocess CharSet: \r\n"));
  EXPECT_THAT(log, HasSubstr("INFO, WorklistProcess, added entry for Patient=O'BRIEN^ANN, ProcedureDescription=KNEE_L=R"));
  EXPECT_THAT(log, HasSubstr("ERROR, WorklistProcess, Patient Name is empty"));
  EXPECT_THAT(log, HasSubstr("INFO, Status set to:COMPLETED for AccessionNumber=H1"));
  EXPECT_THAT(log, HasSubstr("ERROR, Accesion Number is Empty"));
}

TEST_F(WebFormsHttpTest, HostileValuesPassEveryFormAsTextAndAreStoredAsSent) {
  std::vector<std::string> values = HostileMarkupValues();
  values.insert(values.end(), HostileSqlValues().begin(), HostileSqlValues().end() - 1);  // all bytes: in process
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string& v = values[i];
    const std::string accession = "X" + std::to_string(i);
    const HttpAnswer add = Clerk("/wlprocess", Data({{"PatientID", v}, {"LastName", v}, {"FirstName", "F"},
                                                     {"PatientBD", "2024-01-02"}, {"PatientSex", "O"},
                                                     {"Modality", "CT"}, {"ReferringPysician", v},
                                                     {"ProcedureDescription", v}, {"StartDate", "2024-01-02"},
                                                     {"HOUR", "07"}, {"MINUTES", "50"}, {"AccessionNumber", accession}}));
    EXPECT_THAT(add.body, HasSubstr("Added Worklist entry for Patient=" + HtmlEscape(v + "^F") + "<br>")) << v;
    const HttpAnswer edit = Clerk("/form_wlquery", Data({{"CHECK", "on"}, {"AccessionNumber", accession},
                                                          {"PatientID", v}, {"PatientName", v + "^F"},
                                                          {"ReferringPhysician", v}, {"SPSDescription", v},
                                                          {"Modality", v}, {"Edit", "Edit"}}));
    EXPECT_THAT(edit.body, HasSubstr("value=\"" + HtmlEscape(v) + "\""));
    const HttpAnswer save = Clerk("/wledit", Data({{"AccessionNumber", accession}, {"Modality", v}, {"Status", v},
                                                    {"LastName", v}, {"FirstName", v}, {"Save", "Save"}}));
    EXPECT_THAT(save.body, HasSubstr("<b>Updated entry in Worklist</b>"));
    const HttpAnswer status = Clerk("/wlsetstatus", Data({{"AccessionNumber", accession}, {"SPSStatus", v}}));
    EXPECT_THAT(status.body, HasSubstr("Accession Number=" + HtmlEscape(accession)));
    for (const HttpAnswer* answer : {&add, &edit, &save, &status}) {
      EXPECT_EQ(answer->status, 200) << v;
      EXPECT_THAT(answer->body, Not(HasSubstr("<script>alert"))) << v;
      EXPECT_THAT(answer->body, Not(HasSubstr("<b>bold"))) << v;
    }
    EXPECT_EQ(Stored("PatientID || '|' || PatientName || '|' || ReferringPhysician || '|' || SPSDescription || '|' || "
                     "Modality || '|' || SPSStatus",
                     accession),
              v + "|" + v + "^" + v + "|" + v + "|" + v + "|" + v + "|" + v)
        << v;
  }
}

TEST_F(WebFormsHttpTest, GeneralUsersNeitherDeleteNorManageUsers) {
  ASSERT_TRUE(web_.Insert(ScheduledEntry("K1", "KEEP^ME", "20240315")));
  const std::string grid = Data({{"CHECK", "on"}, {"AccessionNumber", "K1"}, {"PatientID", "IDK1"},
                                 {"SPSDate", "15/03/2024"}, {"SPSStatus", "SCHEDULED"}, {"Delete", "Delete"}});
  EXPECT_THAT(Clerk("/form_wlquery", grid).body, HasSubstr("<b>ERROR, deleting entries needs ADMIN rights</b>"));
  EXPECT_EQ(Stored("PatientName", "K1"), "KEEP^ME");
  for (const char* page : {"/UserQuery", "/display_users", "/form_users", "/edit_users"})
    EXPECT_EQ(Clerk(page, Data({{"UserName", "admin"}, {"PassWord", ""}, {"Rights", "0"}, {"Save", "Save"}})).status,
              404)
        << page;
  EXPECT_THAT(web_.Admin("/form_wlquery", grid).body, HasSubstr("<b>Deleted entry <b>K1</b> from Worklist</b>"));
  EXPECT_EQ(Stored("PatientName", "K1"), "<none>");

  EXPECT_THAT(web_.Admin("/display_users", Data({{"UserName", "nurse"}, {"PassWord", "n'pw"}, {"Rights", "1"},
                                                   {"AddNew", "Add New"}}))
                  .body,
              HasSubstr("<b>Added new entry to users</b>"));
  EXPECT_EQ(web_.Request("/UserQuery", "nurse", "n'pw").status, 200);  // an ADMIN at once
  EXPECT_THAT(web_.Admin("/edit_users", Data({{"UserName", "nurse"}, {"PassWord", ""}, {"Rights", "0"},
                                              {"Save", "Save"}}))
                  .body,
              HasSubstr("<b>Updated entry in users</b>"));
  EXPECT_EQ(web_.Request("/UserQuery", "nurse", "n'pw").status, 404);  // GENERAL from the next request
  EXPECT_THAT(web_.Request("/index.htm", "nurse", "n'pw").body, Not(HasSubstr("Manage Users")));
  const std::string users = web_.Admin("/display_users", Data({{"UserName", ""}, {"Query", "Query"}})).body;
  EXPECT_THAT(users, HasSubstr("VALUE=\"********\""));
  EXPECT_THAT(users, Not(HasSubstr("argon2")));

  const std::string log = web_.Server().Log();
  EXPECT_THAT(log, HasSubstr("ERROR, WLQueryForm, User=clerk has no rights to delete worklist entries"));
  EXPECT_THAT(log, Not(HasSubstr("n'pw")));
}
}  // namespace
