// The worklist and user forms through the running server, with curl as the
// client: what other systems send to "wlprocess" and "wlsetstatus", hostile
// values through every form, entries opened by their key, deletion with its
// confirmation, and the refusal of changes that come from another site.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "db/storage_location.h"
#include "db/user_store.h"
#include "platform/codepage.h"
#include "platform/temp_folder.h"
#include "support/child_process.h"
#include "support/hostile_values.h"
#include "web/html_escape.h"
#include "web_instance.h"

namespace tarvelin {

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
  // The form token of the user's login, as our pages carry it.
  std::string Token(const std::string& user, const std::string& password) const {
    const std::string page = web_.Request("/add2wl", user, password).body;
    const std::string mark = "name=\"FormToken\" value=\"";
    const auto at = page.find(mark);
    return at == std::string::npos ? "" : page.substr(at + mark.size(), 32);
  }
  std::string AdminToken() const { return Token("admin", kAdminPassword); }
  // `columns` of the entry `accession` joined by "|", exactly as stored.
  std::string Stored(const std::string& columns, const std::string& accession) const {
    UseStorage(web_.Server().Storage());
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
      {"/wlprocess?" + std::string("PatientID=P8&PatientName=X&PatientBD=1&PatientSex=F&Modality=MR&StartDate=1&"
                                   "StartTime=1&AccessionNumber=H2&Status=DONE"),
       "ERROR adding procedure: not a status: DONE"},
      {"/wlprocess?PatientID=&LastName=LAST&FirstName=FIRST", "<b>ERROR, Patient ID is empty</b><br>\r\n"},
      {"/wledit?AccessionNumber=H1&Status=DONE&Submit=Save", "ERROR, WLQueryEdit, updating entry in Worklist: not a status: DONE"},
      {"/wledit?AccessionNumber=NO&Modality=CT&Submit=Save",
       "ERROR, WLQueryEdit, updating entry in Worklist: no entry with Accession Number=NO"},
      {"/wlsetstatus?AccessionNumber=H1&SPSStatus=COMPLETED", " Updated Worklist entry for Accession Number=H1<br>"},
      {"/wlsetstatus?AccessionNumber=NO&SPSStatus=COMPLETED", "ERROR, WLSetStatus, Updating status: no entry with Accession Number=NO"},
      {"/wlsetstatus?AccessionNumber=H1&SPSStatus=DONE", "ERROR, WLSetStatus, Updating status: not a status: DONE"},
      {"/wlsetstatus?SPSStatus=COMPLETED", "ERROR, Accesion Number is Empty"},
      {"/wlsetstatus?AccessionNumber=H1", "ERROR, SPSStatus is Empty"},
  };
  for (const auto& [request, answer] : answers) EXPECT_THAT(Clerk(request, ""), HasSubstr(answer)) << request;
  EXPECT_EQ(Stored("SPSStatus", "H1"), "COMPLETED");
  EXPECT_EQ(Stored("SPSStatus", "H2"), "<none>");
  EXPECT_THAT(web_.Server().Log(), HasSubstr("INFO, wlprocess URL: PatientID=P7&PatientName=O%27BRIEN%5"));
}

TEST_F(WebFormsHttpTest, HostileValuesPassEveryFormAsTextAndAreStoredAsSent) {
  std::vector<std::string> values = HostileMarkupValues();
  // All but the every-byte value, whose blanks and control characters the edit form trims at its ends.
  values.insert(values.end(), HostileSqlValues().begin(), HostileSqlValues().end() - 1);
  const std::string token = AdminToken();
  ASSERT_EQ(token.size(), 32u);
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::string& v = values[i];
    // Stored and shown as UTF-8: sent without a charset, 8-bit text is read as Windows-1252.
    const std::string u = ToUtf8(v);
    const std::string id = "X" + std::to_string(i);
    const std::string answers[] = {
        Clerk("/wlprocess", Data({{"PatientID", v}, {"LastName", v}, {"FirstName", "F"}, {"PatientBD", "2024-01-02"},
                                  {"PatientSex", "O"}, {"Modality", "CT"}, {"ReferringPysician", v},
                                  {"ProcedureDescription", v}, {"StartDate", "2024-01-02"}, {"HOUR", "07"},
                                  {"MINUTES", "50"}, {"AccessionNumber", id}})),
        Clerk("/form_wlquery", "-G" + Data({{"AccessionNumber", id}})),
        Clerk("/wledit", Data({{"AccessionNumber", id}, {"Modality", v}, {"LastName", v}, {"FirstName", v},
                               {"Save", "Save"}})),
        Clerk("/wlsetstatus", Data({{"AccessionNumber", id}, {"SPSStatus", v}})),
        Admin("/UserQuery", "-G" + Data({{"UserName", v}})),
    };
    EXPECT_THAT(answers[0], HasSubstr("Added Worklist entry for Patient=" + HtmlEscape(u + "^F") + "<br>"));
    EXPECT_THAT(answers[1], HasSubstr("value=\"" + HtmlEscape(u) + "\""));
    EXPECT_THAT(answers[2], HasSubstr("<b>Updated entry in Worklist</b>"));
    // Only the four status words are stored; any other text is refused.
    EXPECT_THAT(answers[3], HasSubstr("ERROR, WLSetStatus, Updating status: not a status: " + HtmlEscape(u)));
    const bool colon = v.find(':') != std::string::npos;  // no user name may hold one (Basic authentication)
    const HttpAnswer added = web_.Admin("/display_users", Data({{"UserName", v}, {"PassWord", v + " and 12 more"}, {"Rights", "0"},
                                                                {"AddNew", "Add New"}, {"FormToken", token}}));
    EXPECT_EQ(added.status, colon ? 200 : 303) << v;
    if (colon) {
      EXPECT_THAT(added.body, HasSubstr("cannot contain"));
    } else {
      EXPECT_THAT(Admin("/UserQuery", "-G" + Data({{"UserName", v}})), HasSubstr(">" + HtmlEscape(u) + "</a>"));
      const HttpAnswer deleted = web_.Admin("/form_users", Data({{"UserName", v}, {"Delete", "Delete"},
                                                                 {"Confirm", "yes"}, {"FormToken", token}}));
      EXPECT_EQ(deleted.status, 303) << v;
    }
    for (const auto& answer : answers) {
      EXPECT_THAT(answer, Not(HasSubstr("<script>alert")));
      EXPECT_THAT(answer, Not(HasSubstr("<b>bold")));
    }
    EXPECT_EQ(Stored("PatientID, PatientName, ReferringPhysician, SPSDescription, Modality, SPSStatus", id),
              u + "|" + u + "^" + u + "|" + u + "|" + u + "|" + u + "|SCHEDULED");
  }
}

TEST_F(WebFormsHttpTest, EntriesOpenByTheirKeyAndDeletionIsConfirmedAndCounted) {
  for (const char* id : {"K1", "K2", "K3"}) ASSERT_TRUE(web_.Insert(ScheduledEntry(id, std::string("DOE^") + id, "20240315")));
  const std::string token = AdminToken();
  // The form shows what is stored under the key, whatever else is sent.
  const std::string edit = Clerk("/form_wlquery", "-G" + Data({{"AccessionNumber", "K2"}, {"PatientName", "X^Y"}}));
  EXPECT_THAT(edit, HasSubstr("name=\"FirstName\" size=\"20\" placeholder=\"FIRST\" value=\"K2\""));
  EXPECT_THAT(Clerk("/form_wlquery", "-G" + Data({{"AccessionNumber", "K9"}})),
              HasSubstr("ERROR, no entry with Accession Number=K9"));
  const Pairs keys = {{"AccessionNumber", "K2"}, {"AccessionNumber", "K3"}, {"AccessionNumber", "NOPE"},
                      {"Delete", "Delete"}, {"FormToken", token}, {"ListQuery", "DateFrom=2024-03-15\r\nX: y"}};
  const std::string question = Admin("/form_wlquery", Data(keys));
  EXPECT_THAT(question, HasSubstr("<title>Delete 2 entries?</title>"));
  EXPECT_EQ(Stored("PatientName", "K2"), "DOE^K2");  // asking deletes nothing
  const HttpAnswer done = web_.Admin("/form_wlquery", Data(keys + Pairs{{"Confirm", "yes"}}));
  EXPECT_EQ(done.status, 303);
  EXPECT_THAT(done.headers, HasSubstr("Location: worklist?DateFrom=2024-03-15Xy&msg=deleted&n=2\r\n"));
  EXPECT_EQ(Stored("PatientName", "K1") + Stored("PatientName", "K3"), "DOE^K1<none>");
  const std::pair<Pairs, std::string> refusals[] = {
      {keys + Pairs{{"Confirm", "yes"}}, "ERROR, no entries deleted"},  // gone meanwhile: 0 is an error
      {{{"Delete", "Delete"}, {"FormToken", token}}, "ERROR, no entries selected"},
  };
  for (const auto& [pairs, error] : refusals) EXPECT_THAT(Admin("/form_wlquery", Data(pairs)), HasSubstr(error));
  const std::string clerkToken = Token("clerk", kClerkPassword);
  EXPECT_THAT(Clerk("/form_wlquery", Data({{"AccessionNumber", "K1"}, {"Delete", "Delete"}, {"Confirm", "yes"},
                                           {"FormToken", clerkToken}})),
              HasSubstr("ERROR, deleting entries needs ADMIN rights"));
  EXPECT_EQ(Stored("PatientName", "K1"), "DOE^K1");
  // Save with an empty password keeps the stored one.
  EXPECT_EQ(web_.Admin("/edit_users", Data({{"UserName", "clerk"}, {"PassWord", ""}, {"Rights", "1"},
                                            {"Save", "Save"}, {"FormToken", token}})).status,
            303);
  EXPECT_EQ(web_.Request("/UserQuery", "clerk", kClerkPassword).status, 200);  // ADMIN now, same password
}

TEST_F(WebFormsHttpTest, ChangesFromAnotherSiteOrWithoutTheFormTokenAreRefused) {
  ASSERT_TRUE(web_.Insert(ScheduledEntry("C1", "DOE^C1", "20240315")));
  const std::string token = AdminToken();
  const std::string own = "-H " + ShellQuote("Origin: " + web_.Url(""));
  const std::string add = Data({{"UserName", "eve"}, {"PassWord", "eve's password"}, {"AddNew", "Add New"}});
  const std::string status = "-G" + Data({{"AccessionNumber", "C1"}, {"SPSStatus", "DISCONTINUED"}});
  const struct {
    std::string path, options;
    int status;
    const char* logged;
  } cases[] = {
      {"/display_users", add + Data({{"FormToken", token}}) + " -H 'Origin: http://127.0.0.1:1'", 403,
       "cross-site request refused, Origin=http://127.0.0.1:1"},
      {"/display_users", add + Data({{"FormToken", token}}) + " -H 'Sec-Fetch-Site: same-site'", 403,
       "cross-site request refused, Sec-Fetch-Site=same-site"},
      {"/display_users", add + Data({{"FormToken", token}}) + " -H 'Origin: null'", 403, "Origin=null"},
      {"/display_users", add + " " + own, 403, "Page=display_users, form token missing or wrong"},
      {"/display_users", add + Data({{"FormToken", std::string(32, '0')}}), 403, "form token missing or wrong"},
      {"/wlsetstatus", status + " -H 'Sec-Fetch-Site: cross-site'", 403, "Sec-Fetch-Site=cross-site"},
      {"/wlsetstatus", status + " -H 'Sec-Fetch-Site: same-origin'", 403, "Page=wlsetstatus, form token missing"},
      {"/display_users", add + Data({{"FormToken", token}}) + " " + own + " -H 'Sec-Fetch-Site: same-origin'", 303, ""},
      {"/wlsetstatus", status, 200, ""},  // another system's script: no browser headers, no token
  };
  for (const auto& c : cases) {
    const HttpAnswer answer = web_.Admin(c.path, c.options);
    EXPECT_EQ(answer.status, c.status) << c.options;
    if (*c.logged) {
      EXPECT_THAT(web_.Server().Log(), HasSubstr(c.logged));
    }
  }
  EXPECT_EQ(Stored("SPSStatus", "C1"), "DISCONTINUED");  // by the last request only
  EXPECT_THAT(web_.Server().Log(), HasSubstr("ERROR, User=admin, Page=display_users, cross-site request refused"));
  // A log out ends the login round: the old token no longer works.
  EXPECT_EQ(web_.Admin("/logout").status, 401);
  EXPECT_EQ(web_.Admin("/display_users", add + Data({{"FormToken", token}})).status, 403);
}

// Other systems' calls are read in the charset their Content-Type declares
// and stored as UTF-8; those that declare none are read as before (UTF-8
// when well-formed, else Windows-1252); text not valid in its charset is
// refused and nothing is stored. Pages go out as UTF-8.
TEST_F(WebFormsHttpTest, CallsAreReadInTheirDeclaredCharsetAndStoredAsUtf8) {
  const std::string order = "PatientID=P1&PatientBD=19700102&PatientSex=F&Modality=CT&StartDate=20240315&StartTime=0930";
  const struct {
    const char* accession;
    std::string contentType;  // "": a GET with the text as its query
    std::string name;         // PatientName as sent, %-escaped
    std::string stored;       // "<none>": refused
  } cases[] = {
      {"C1", "", "M%DCLLER", "M\xC3\x9CLLER"},                          // Latin-1, as older scripts send it
      {"C2", "", "M%C3%9CLLER", "M\xC3\x9CLLER"},                       // UTF-8 without a declaration
      {"C3", "", "%80UR%8A", "\xE2\x82\xACUR\xC5\xA0"},                // Windows-1252 beyond Latin-1: € and Š
      {"C4", "application/x-www-form-urlencoded; charset=ISO-8859-2", "DVO%D8%C1K", "DVO\xC5\x98\xC3\x81K"},
      {"C5", "application/x-www-form-urlencoded; charset=\"utf-8\"", "%CE%93%CE%99", "\xCE\x93\xCE\x99"},
      {"C6", "application/x-www-form-urlencoded; charset=ISO-8859-1", "M%DCLLER", "M\xC3\x9CLLER"},
      {"C7", "application/x-www-form-urlencoded; charset=UTF-8", "M%DCLLER", "<none>"},  // not UTF-8
      {"C8", "application/x-www-form-urlencoded; charset=x-unknown", "SMITH", "<none>"},
      {"C9", "text/plain; charset=KOI8-R", "\xF0\xC5\xD4\xD2\xCF\xD7", "\xD0\x9F\xD0\xB5\xD1\x82\xD1\x80\xD0\xBE\xD0\xB2"},
  };
  for (const auto& c : cases) {
    const std::string text = order + "&AccessionNumber=" + c.accession + "&PatientName=" + c.name;
    const std::string options = c.contentType.empty()
                                    ? ""
                                    : "-H " + ShellQuote("Content-Type: " + c.contentType) + " --data-binary " +
                                          ShellQuote(text);
    const HttpAnswer answer =
        web_.Request(c.contentType.empty() ? "/wlprocess?" + text : "/wlprocess", "clerk", kClerkPassword, options);
    EXPECT_EQ(Stored("PatientName", c.accession), c.stored) << c.accession;
    EXPECT_EQ(answer.status, c.stored == "<none>" ? 400 : 200) << c.accession;
    EXPECT_THAT(answer.headers, HasSubstr("Content-Type: text/html; charset=UTF-8")) << c.accession;
  }
  EXPECT_THAT(web_.Server().Log(),
              HasSubstr("ERROR, User=clerk, Page=wlprocess, text not valid in its declared character set UTF-8, refused"));
  // The status call takes its declared charset too.
  EXPECT_EQ(web_.Request("/wlsetstatus", "clerk", kClerkPassword,
                         "-H 'Content-Type: application/x-www-form-urlencoded; charset=UTF-8' --data-binary "
                         "'AccessionNumber=C1&SPSStatus=COMPLETED\xFF'")
                .status,
            400);
  EXPECT_EQ(Stored("SPSStatus", "C1"), "SCHEDULED");
}

// Every change through the pages, and a refused login, is one line of the
// audit file naming the user, the client's address, the entry and what changed.
TEST_F(WebFormsHttpTest, ChangesAndRefusedLoginsReachTheAuditTrail) {
  const std::string token = AdminToken();
  const std::string clerkToken = Token("clerk", kClerkPassword);
  EXPECT_THAT(Clerk("/wlprocess", Data({{"PatientID", "P1"}, {"LastName", "DOE"}, {"FirstName", "ANN"},
                                        {"PatientBD", "2024-01-02"}, {"PatientSex", "F"}, {"Modality", "CT"},
                                        {"StartDate", "2024-01-02"}, {"HOUR", "07"}, {"MINUTES", "50"},
                                        {"AccessionNumber", "AU1"}})),
              HasSubstr("Added Worklist entry"));
  EXPECT_THAT(Clerk("/wledit", Data({{"AccessionNumber", "AU1"}, {"LastName", "ROE \"Q\""}, {"FirstName", "ANN"},
                                     {"Save", "Save"}})),
              HasSubstr("Updated entry in Worklist"));
  EXPECT_THAT(Clerk("/wlsetstatus", Data({{"AccessionNumber", "AU1"}, {"SPSStatus", "IN PROGRESS"}})),
              HasSubstr("Updated Worklist entry"));
  EXPECT_EQ(web_.Admin("/form_wlquery", Data({{"AccessionNumber", "AU1"}, {"Delete", "Delete"}, {"Confirm", "yes"},
                                              {"FormToken", token}})).status,
            303);
  const Pairs newUser = {{"UserName", "auditee"}, {"Rights", "0"}, {"AddNew", "Add New"}, {"FormToken", token}};
  EXPECT_THAT(Admin("/display_users", Data(newUser + Pairs{{"PassWord", "short"}})),
              HasSubstr("ERROR, a password needs at least 12 characters (this one has 5)"));
  EXPECT_EQ(web_.Admin("/display_users", Data(newUser + Pairs{{"PassWord", "twelve chars"}})).status, 303);
  EXPECT_THAT(Admin("/edit_users", Data({{"UserName", "auditee"}, {"PassWord", "too short"}, {"Rights", "1"},
                                          {"Save", "Save"}, {"FormToken", token}})),
              HasSubstr("ERROR, a password needs at least 12 characters (this one has 9)"));
  EXPECT_EQ(web_.Admin("/edit_users", Data({{"UserName", "auditee"}, {"PassWord", ""}, {"Rights", "1"},
                                            {"Save", "Save"}, {"FormToken", token}})).status,
            303);
  EXPECT_EQ(web_.Admin("/form_users", Data({{"UserName", "auditee"}, {"Delete", "Delete"}, {"Confirm", "yes"},
                                            {"FormToken", token}})).status,
            303);
  EXPECT_EQ(web_.Request("/worklist", "nobody", "guess").status, 401);

  const std::string audit = web_.AuditLog();
  const std::string clerk = R"("actorType":"web user","actor":"clerk","address":"127.0.0.1")";
  const std::string admin = R"("actorType":"web user","actor":"admin","address":"127.0.0.1")";
  const std::string expected[] = {
      R"("event":"entry-create","action":"C","outcome":"success",)" + clerk +
          R"(,"objectType":"accession","object":"AU1","changes":[{"field":"PatientID","old":"","new":"P1"})",
      R"("event":"entry-edit","action":"U","outcome":"success",)" + clerk +
          R"(,"objectType":"accession","object":"AU1","changes":[{"field":"PatientName","old":"DOE^ANN","new":"ROE \"Q\"^ANN"}])",
      R"("event":"entry-status",)" + std::string(R"("action":"U","outcome":"success",)") + clerk +
          R"(,"objectType":"accession","object":"AU1","changes":[{"field":"SPSStatus","old":"SCHEDULED","new":"IN PROGRESS"}])",
      R"("event":"entry-delete","action":"D","outcome":"success",)" + admin +
          R"(,"objectType":"accession","object":"AU1","changes":[{"field":"PatientID","old":"P1","new":""})",
      R"("event":"user-create","action":"C","outcome":"success",)" + admin +
          R"(,"objectType":"user","object":"auditee","changes":[{"field":"Rights","old":"","new":"GENERAL"}],"detail":"password set"})",
      R"("event":"user-edit","action":"U","outcome":"success",)" + admin +
          R"(,"objectType":"user","object":"auditee","changes":[{"field":"Rights","old":"GENERAL","new":"ADMIN"}]})",
      R"("event":"user-delete","action":"D","outcome":"success",)" + admin +
          R"(,"objectType":"user","object":"auditee","changes":[{"field":"Rights","old":"ADMIN","new":""}]})",
      R"("event":"login-failure","action":"E","outcome":"failure","actorType":"web user","actor":"nobody","address":"127.0.0.1","objectType":"user","object":"nobody","detail":"wrong user name or password, Page=worklist"})",
  };
  for (const std::string& line : expected) EXPECT_THAT(audit, HasSubstr(line));
  // The refused changes left no line; each user's session began with one
  // login line, and setting the instance up (tarvelin-setup made admin and
  // clerk) wrote two.
  EXPECT_EQ(std::count(audit.begin(), audit.end(), '\n'), 8 + 2 + 2) << audit;
  EXPECT_THAT(audit, Not(HasSubstr("twelve chars")));
  // Every line of the request's work names the client too.
  EXPECT_THAT(web_.Server().Log(), HasSubstr("INFO, User=clerk, Page=wlsetstatus, from 127.0.0.1\r\n"));
}

TEST_F(WebFormsHttpTest, TheLastAdminUserStaysAndGoneUsersAreNamed) {
  // "boss" is made the only ADMIN user, as tarvelin-setup can leave an instance.
  {
    UseStorage(web_.Server().Storage());
    SQLdb db("quillat", SQLdb::ReadWrite);
    UserStore users(db);
    ASSERT_EQ(users.Add("boss", "the boss password", kAdminRights), WriteResult::Done);
    ASSERT_EQ(users.Remove("admin"), WriteResult::Done);
  }
  const std::string token = Token("boss", "the boss password");
  const auto boss = [&](const std::string& path, const Pairs& form) {
    return web_.Request(path, "boss", "the boss password", Data(form + Pairs{{"FormToken", token}})).body;
  };
  const struct {
    std::string path;
    Pairs form;
    std::string says;
  } cases[] = {
      {"/edit_users", {{"UserName", "boss"}, {"PassWord", ""}, {"Rights", "0"}, {"Save", "Save"}},
       "ERROR, user boss is the last ADMIN user and cannot lose its ADMIN rights"},
      {"/form_users", {{"UserName", "boss"}, {"Delete", "Delete"}, {"Confirm", "yes"}},
       "ERROR, user boss is the last ADMIN user and cannot be removed"},
      {"/form_users", {{"UserName", "ghost"}, {"Delete", "Delete"}, {"Confirm", "yes"}}, "ERROR, no user ghost"},
      {"/edit_users", {{"UserName", "ghost"}, {"PassWord", ""}, {"Rights", "0"}, {"Save", "Save"}},
       "ERROR, updating entry in users: no user ghost"},
      {"/display_users", {{"UserName", "clerk"}, {"PassWord", "another long one"}, {"Rights", "1"}, {"AddNew", "Add New"}},
       "ERROR, user clerk already exists"},
  };
  for (const auto& c : cases) EXPECT_THAT(boss(c.path, c.form), HasSubstr(c.says)) << c.path;
  EXPECT_EQ(web_.Request("/UserQuery", "boss", "the boss password").status, 200);  // still ADMIN
  EXPECT_EQ(web_.Request("/worklist", "clerk", kClerkPassword).status, 200);       // unchanged
}
}  // namespace

}  // namespace tarvelin
