// The worklist pages of the web administration, called in process.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "db/sqlquote.h"
#include "service/settings.h"
#include "support/pinned_clock.h"
#include "web/add_to_worklist.h"
#include "web/entry_form.h"
#include "web/html_escape.h"
#include "web/worklist_edit_pages.h"
#include "web_pages_fixture.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {
// What a page says between the navigation bar and the footer.
std::string Body(const std::string& page) {
  const std::string navEnd = "</TR></TABLE><BR>\r\n";
  const auto from = page.find(navEnd);
  const auto to = page.rfind("<BR><center>");
  if (from == std::string::npos || to == std::string::npos || to < from) return "<no frame>";
  return page.substr(from + navEnd.size(), to - from - navEnd.size());
}

ParamList AddForm(ParamList extra = {}) {
  ParamList params = {"PatientID=",  "LastName=LAST", "FirstName=FIRST", "PatientBD=2024-03-15",
                      "PatientSex=M", "Modality=CT",  "ReferringPysician=", "ProcedureDescription=",
                      "StartDate=2024-03-15", "HOUR=14", "MINUTES=30", "Status=SCHEDULED", "Submit=Submit"};
  params.insert(params.end(), extra.begin(), extra.end());
  return params;
}

// A grid post of one shown row (dates in display form, time hh:mm).
ParamList GridRow(bool ticked, const std::string& accession, const std::string& name, const std::string& modality) {
  ParamList row;
  if (ticked) row.push_back("CHECK=on");
  for (const std::string& pair :
       {"AccessionNumber=" + accession, std::string("PatientID=P") + accession, "PatientName=" + name,
        std::string("PatientBD=15/03/1970"), std::string("PatientSex=F"), std::string("ReferringPhysician=DR^X"),
        std::string("SPSDate=31/12/2024"), std::string("SPSTime=14:37"), "Modality=" + modality,
        std::string("SPSDescription=HEAD"), std::string("SPSStatus=SCHEDULED")})
    row.push_back(pair);
  return row;
}

ParamList Concat(std::initializer_list<ParamList> parts) {
  ParamList all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class WorklistFormsTest : public WebPagesTest {
 protected:
  void AddEntry(const std::string& accession, const std::string& name) const {
    Exec("INSERT INTO Worklist (AccessionNumber, PatientID, PatientName, Modality, SPSStatus, "
         "RequestedProcedureDescription, SPSDescription, SPSTime) VALUES (" + SqlQuote(accession) + ", 'P', " +
         SqlQuote(name) + ", 'CT', 'SCHEDULED', 'P123', 'HEAD', '143700')");
  }
};

TEST_F(WorklistFormsTest, TheUnchangedAddFormOnlyNamesTheMissingPatientId) {
  EXPECT_EQ(Body(WorklistProcess(AddForm(), 0)), "<b>ERROR, Patient ID is empty</b><br>\r\n");
  EXPECT_THAT(LogLines(), ElementsAre("ERROR, WorklistProcess, Patient ID is empty"));
  EXPECT_THAT(Rows("SELECT * FROM Worklist"), ElementsAre());
}

TEST_F(WorklistFormsTest, TheDefaultsMakeLastFirstAndTheSameMinuteRefusesTheDuplicate) {
  const PinnedClock clock(2024, 3, 15, 14, 30, 5);
  EXPECT_EQ(Body(WorklistProcess(AddForm({"PatientID=7"}), 0)), "Added Worklist entry for Patient=LAST^FIRST<br>\r\n");
  const auto rows = Rows("SELECT PatientName, PatientBD, SPSTime, SPSStatus, AccessionNumber FROM Worklist");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_THAT(rows[0], ::testing::StartsWith("LAST^FIRST|20240315|143000|SCHEDULED|2403151430"));
  const std::string accession = rows[0].substr(rows[0].rfind('|') + 1);

  EXPECT_EQ(Body(WorklistProcess(AddForm({"PatientID=7"}), 0)),
            "ERROR adding procedure: Accession Number already used: " + accession);
  EXPECT_THAT(LogLines(), ElementsAre("INFO, Adding new entry for 7, LAST^FIRST",
                                      "INFO, WorklistProcess, added entry for Patient=LAST^FIRST, ProcedureDescription=",
                                      "INFO, Adding new entry for 7, LAST^FIRST",
                                      "WARNING, WorklistDB::Insert, Accession Number already used: " + accession,
                                      "ERROR, adding procedure: Accession Number already used: " + accession));
}

TEST_F(WorklistFormsTest, HostileValuesAreStoredAsSentAndShownOnlyAsText) {
  const auto values = HostileValues();
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string& v = values[i];
    const std::string page = WorklistProcess(
        AddForm({"PatientID=" + v, "PatientName=" + v, "ProcedureDescription=" + v, "StationAET=" + v,
                 "AccessionNumber=A" + std::to_string(i)}),
        0);
    EXPECT_EQ(Body(page), "Added Worklist entry for Patient=" + HtmlEscape(v) + "<br>\r\n") << v;
    EXPECT_THAT(Rows("SELECT PatientID, PatientName, SPSDescription, ScheduledStation FROM Worklist WHERE "
                     "AccessionNumber = 'A" + std::to_string(i) + "'"),
                ElementsAre(v + "|" + v + "|" + v + "|" + v));
  }
  EXPECT_THAT(Rows("SELECT COUNT(*) FROM Worklist"), ElementsAre(std::to_string(values.size())));
}

TEST_F(WorklistFormsTest, EditShowsTheFirstTickedRowWithEveryValueKept) {
  const std::string name = "O'BRIEN^<b>JO</b>^\"M\"";
  Exec("INSERT INTO Referrers (Name) VALUES ('A')");
  const std::string page = WLQueryForm(
      Concat({GridRow(false, "A0", "SKIPPED", "CT"), GridRow(true, "A1", name, "SC"), GridRow(true, "A2", "SECOND", "MR"),
              {"Edit=Edit"}}),
      0, "nurse");
  EXPECT_THAT(page, HasSubstr("<TITLE>Edit WLQuery</TITLE>"));
  EXPECT_THAT(page, HasSubstr("value=\"A1\" name=\"AccessionNumber\""));
  EXPECT_THAT(page, HasSubstr("name=\"LastName\" size=15 value=\"O&#39;BRIEN\""));
  EXPECT_THAT(page, HasSubstr("name=\"FirstName\" size=15 value=\"&lt;b&gt;JO&lt;/b&gt;^&quot;M&quot;\""));
  EXPECT_THAT(page, HasSubstr("name=\"PatientBD\" size=15 type=\"date\" value=\"1970-03-15\""));
  EXPECT_THAT(page, HasSubstr("name=\"StartDate\" size=15 type=\"date\" value=\"2024-12-31\""));
  EXPECT_THAT(page, HasSubstr("<OPTION SELECTED VALUE=\"SC\">"));
  EXPECT_THAT(page, HasSubstr("<OPTION SELECTED VALUE=\"DR^X\"> DR^X"));  // kept though Referrers lacks it
  EXPECT_THAT(page, Not(HasSubstr("A2")));
  EXPECT_THAT(page, Not(HasSubstr("<b>JO")));
  EXPECT_EQ(Body(WLQueryForm(Concat({GridRow(false, "A1", "X", "CT"), {"Edit=Edit"}}), 0, "nurse")),
            "ERROR, no entries selected");
}

TEST_F(WorklistFormsTest, OnlyAdminUsersDeleteAndEveryTickedRowGoes) {
  for (const char* accession : {"A1", "A2", "A3"}) AddEntry(accession, "X");
  const ParamList post = Concat({GridRow(true, "A2", "X", "CT"), GridRow(false, "A1", "X", "CT"),
                                 GridRow(true, "A3", "X", "CT"), {"Delete=Delete"}});
  EXPECT_EQ(Body(WLQueryForm(post, 0, "nurse")), "<b>ERROR, deleting entries needs ADMIN rights</b>\r\n");
  EXPECT_THAT(LogLines(), ElementsAre("ERROR, WLQueryForm, User=nurse has no rights to delete worklist entries"));
  EXPECT_EQ(Rows("SELECT AccessionNumber FROM Worklist").size(), 3u);

  EXPECT_EQ(Body(WLQueryForm(post, 1, "admin")), "<b>Deleted entry <b>A2</b> from Worklist</b><br>\r\n"
                                                 "<b>Deleted entry <b>A3</b> from Worklist</b><br>\r\n");
  EXPECT_THAT(Rows("SELECT AccessionNumber FROM Worklist"), ElementsAre("A1"));
  // A row deleted meanwhile is gone as asked.
  EXPECT_THAT(Body(WLQueryForm(post, 1, "admin")), HasSubstr("<b>Deleted entry <b>A2</b> from Worklist</b>"));
}

TEST_F(WorklistFormsTest, SavingTheEditFormWritesWhatItShowsAndCancelNothing) {
  AddEntry("A'1", "OLD");
  const ParamList save = {"AccessionNumber=A'1", "PatientID= 42 ", "LastName=M\xDCLLER <&>", "FirstName=",
                          "PatientBD=1970-03-15", "PatientSex=F", "Modality=MR", "ReferringPysician=DR 'Q'",
                          "ProcedureDescription=KNEE=L", "StartDate=2024-12-31", "HOUR=09", "MINUTES=10",
                          "Status=COMPLETED"};
  EXPECT_EQ(Body(WLQueryEdit(Concat({save, {"Cancel=Cancel"}}), 0)), "");
  EXPECT_THAT(Rows("SELECT PatientName FROM Worklist"), ElementsAre("OLD"));
  EXPECT_EQ(Body(WLQueryEdit(Concat({save, {"Save=Save"}}), 0)), "<b>Updated entry in Worklist</b>\r\n");
  EXPECT_THAT(Rows("SELECT PatientID, PatientName, PatientBD, Modality, ReferringPhysician, SPSDescription, "
                   "RequestedProcedureDescription, SPSDate, SPSTime, SPSStatus FROM Worklist"),
              ElementsAre("42|M\xDCLLER <&>|19700315|MR|DR 'Q'|KNEE=L|P123|20241231|0910|COMPLETED"));
  EXPECT_EQ(Body(WLQueryEdit({"AccessionNumber=NONE", "PatientID=1", "Save=Save"}, 0)),
            "<b>ERROR, WLQueryEdit, updating entry in Worklist: no entry with Accession Number=NONE</b>\r\n");
}

TEST_F(WorklistFormsTest, StatusIsSetByAccessionNumber) {
  AddEntry("A1", "X");
  const struct {
    ParamList params;
    std::string body, status;
  } cases[] = {
      {{"AccessionNumber=A1", "SPSStatus=COMPLETED"}, " Updated Worklist entry for Accession Number=A1<br>\r\n",
       "COMPLETED"},
      {{"AccessionNumber=A9", "SPSStatus=DISCONTINUED"},
       "ERROR, WLSetStatus, Updating status: no entry with Accession Number=A9", "COMPLETED"},
      {{"SPSStatus=SCHEDULED"}, "ERROR, Accesion Number is Empty", "COMPLETED"},
      {{"AccessionNumber=A1"}, "ERROR, SPSStatus is Empty", "COMPLETED"},
      {{"AccessionNumber=A1", "SPSStatus=<i>"}, " Updated Worklist entry for Accession Number=A1<br>\r\n", "<i>"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Body(WLSetStatus(c.params, 0)), c.body);
    EXPECT_THAT(Rows("SELECT SPSStatus FROM Worklist"), ElementsAre(c.status));
  }
}

TEST_F(WorklistFormsTest, TheSelectorsFollowTheLookupTables) {
  EXPECT_EQ(ReferrerSelect("DR \"X\""), "<input name=\"ReferringPysician\" size=30 value=\"DR &quot;X&quot;\">");
  EXPECT_EQ(ProcDescriptionPage({"Modality=CT"}), "<input name=\"ProcedureDescription\" size=30 value=\"\">");
  Exec("INSERT INTO Referrers (Name) VALUES ('B<'), ('A');"
       "INSERT INTO StudyDescription (Code, Modality, Description) VALUES (1, 'CT', 'HEAD'), (2, 'MR', 'KNEE')");
  EXPECT_EQ(ReferrerSelect("B<"), "<SELECT name=\"ReferringPhysician\" value=\"ReferringPhysician\">\r\n"
                                  "<OPTION VALUE=\"A\"> A\r\n<OPTION SELECTED VALUE=\"B&lt;\"> B&lt;\r\n</SELECT>\r\n");
  EXPECT_EQ(ProcDescriptionPage({"Modality=CT"}), "<SELECT name=\"ProcedureDescription\" value=\"ProcedureDescription\">"
                                                   "\r\n<OPTION VALUE=\"HEAD\"> HEAD\r\n</SELECT>\r\n");
  ServerSettings.DefaultModality = 2;
  const std::string add = AddToWorklistPage(0);
  ServerSettings.DefaultModality = 0;
  EXPECT_THAT(add, HasSubstr("<OPTION SELECTED VALUE=\"MR\">"));
  EXPECT_THAT(add, HasSubstr("<OPTION VALUE=\"KNEE\"> KNEE"));  // the descriptions of the default modality
}
}  // namespace
