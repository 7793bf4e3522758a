// The running server's web port with curl and raw sockets as the clients:
// login, refusals, static files and hostile requests.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "support/child_process.h"
#include "support/log_file.h"
#include "support/syslog_collector.h"
#include "web_instance.h"

namespace tarvelin {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

namespace {
class WebServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(web_.Prepare(), "");
    ASSERT_TRUE(web_.Start()) << web_.Server().Log() << web_.Server().Console();
  }
  WebInstance web_{"webserver"};
};

TEST_F(WebServerTest, BasicAuthenticationAdmitsUsersWithTheirRights) {
  const HttpAnswer anonymous = web_.Request("/");
  EXPECT_EQ(anonymous.status, 401) << anonymous.curl;
  EXPECT_THAT(anonymous.headers, HasSubstr("WWW-Authenticate: Basic realm=\"authenticate\""));
  for (const auto& [user, password] : {std::pair<std::string, std::string>{"admin", "wrong"},
                                       {"admin' --", "x"}, {"admin", ""}, {"nobody", kAdminPassword}})
    EXPECT_EQ(web_.Request("/worklist", user, password).status, 401) << user;

  const HttpAnswer admin = web_.Admin("/");
  EXPECT_EQ(admin.status, 200);
  EXPECT_THAT(admin.headers, HasSubstr("Content-Type: text/html; charset=UTF-8"));
  EXPECT_THAT(admin.body, HasSubstr("<b>Worklist WEB Server</b> - admin</h1>"));
  EXPECT_THAT(admin.body, HasSubstr("Manage Users"));
  const HttpAnswer clerk = web_.Request("/index.htm", "clerk", kClerkPassword);
  EXPECT_EQ(clerk.status, 200);
  EXPECT_THAT(clerk.body, Not(HasSubstr("Manage Users")));
  EXPECT_EQ(web_.Request("/UserQuery", "clerk", kClerkPassword).status, 404);

  const std::string log = web_.Server().Log();
  EXPECT_THAT(log, HasSubstr("ERROR, User=, Page=index.htm, not authenticated"));
  EXPECT_THAT(log, HasSubstr("ERROR, User=admin' --, Page=worklist, not authenticated"));
  EXPECT_THAT(log, HasSubstr("INFO, User=clerk, Page=index.htm"));
  EXPECT_THAT(log, HasSubstr("ERROR, The URL does not exists: UserQuery"));
  EXPECT_THAT(log, Not(HasSubstr(kAdminPassword)));
}

TEST_F(WebServerTest, PrivatePartsOfTheInstanceAreNeverServed) {
  const std::string home = web_.Server().Home();
  const char* documents[] = {
      "/../database/quillat.db", "/%2e%2e/database/quillat.db", "/database/quillat.db", "/TRVGUI.ini",
      "/trvgui.ini",             "//etc/passwd",                "/etc/passwd",          "/javascript/../TRVGUI.ini",
      "/./TRVGUI.ini",           "/logs/",                      "/HL7in/",             "/%2e%2e/%2e%2e/etc/passwd",
      "/javascript",             "/INDEX.HTM",
  };
  for (const char* document : documents) {
    const HttpAnswer answer = web_.Admin(document);
    EXPECT_EQ(answer.status, 404) << document << answer.curl;
    EXPECT_THAT(answer.body, Not(HasSubstr("SQLite format"))) << document;
    EXPECT_THAT(answer.body, Not(HasSubstr("[TRVSVC]"))) << document;
    EXPECT_THAT(answer.body, Not(HasSubstr("root:"))) << document;
  }
  for (const auto& file : std::filesystem::directory_iterator(home + "logs")) {
    const HttpAnswer log = web_.Admin("/logs/" + file.path().filename().string());
    EXPECT_EQ(log.status, 404) << file.path();
    EXPECT_THAT(log.body, Not(HasSubstr("is starting")));
  }
  EXPECT_THAT(web_.Server().Log(), HasSubstr("ERROR, The URL does not exists: database/quillat.db"));
}

// The value of header `name` in `headers` ("" when absent).
std::string HeaderValue(const std::string& headers, const std::string& name) {
  const auto at = headers.find("\r\n" + name + ": ");
  if (at == std::string::npos) return "";
  const auto from = at + name.size() + 4;
  return headers.substr(from, headers.find("\r\n", from) - from);
}

TEST_F(WebServerTest, StaticFilesCarryTheirTypeAndAnswerConditionalRequests) {
  const HttpAnswer css = web_.Admin("/javascript/style.css");
  ASSERT_EQ(css.status, 200) << css.curl;
  EXPECT_THAT(css.headers, HasSubstr("Content-Type: text/css"));
  EXPECT_THAT(css.body, HasSubstr("Tarvelin web administration"));
  EXPECT_EQ(HeaderValue(css.headers, "Cache-Control"), "no-cache");  // asked again each time: a 304
  const std::string etag = HeaderValue(css.headers, "ETag");
  const std::string modified = HeaderValue(css.headers, "Last-Modified");
  ASSERT_FALSE(etag.empty());
  ASSERT_FALSE(modified.empty());
  const struct {
    std::string options;
    int status;
  } conditional[] = {
      {"-H " + ShellQuote("If-None-Match: " + etag), 304},
      {"-H " + ShellQuote("If-None-Match: \"other\", " + etag), 304},
      {"-H " + ShellQuote("If-None-Match: \"other\""), 200},
      {"-H " + ShellQuote("If-Modified-Since: " + modified), 304},
      {"-H " + ShellQuote("If-None-Match: \"other\"") + " -H " + ShellQuote("If-Modified-Since: " + modified), 200},
  };
  for (const auto& c : conditional) {
    const HttpAnswer again = web_.Admin("/javascript/style.css", c.options);
    EXPECT_EQ(again.status, c.status) << c.options;
    if (c.status == 304) {
      EXPECT_EQ(again.body, "");
      EXPECT_EQ(HeaderValue(again.headers, "ETag"), etag);
    }
  }
  // The pages name their assets with the version; that address is kept for a year.
  const std::string page = web_.Admin("/worklist").body;
  const auto at = page.find("javascript/style.css?v=");
  ASSERT_NE(at, std::string::npos);
  const std::string versioned = page.substr(at, page.find('"', at) - at);
  EXPECT_THAT(web_.Admin("/" + versioned).headers, HasSubstr("Cache-Control: private, max-age=31536000, immutable"));
  EXPECT_THAT(web_.Admin("/javascript/style.css?v=old").headers, HasSubstr("Cache-Control: no-cache"));
  // Text travels compressed to a browser that accepts it; pictures as they are.
  const HttpAnswer gzip = web_.Admin("/" + versioned, "--compressed");
  EXPECT_EQ(HeaderValue(gzip.headers, "Content-Encoding"), "gzip");
  EXPECT_EQ(gzip.body, css.body);
  EXPECT_EQ(HeaderValue(gzip.headers, "ETag"), etag.substr(0, etag.size() - 1) + "-gz\"");
  EXPECT_EQ(HeaderValue(web_.Admin("/worklist", "--compressed").headers, "Content-Encoding"), "gzip");
  const HttpAnswer png = web_.Admin("/javascript/card.png", "--compressed");
  EXPECT_THAT(png.headers, HasSubstr("Content-Type: image/png"));
  EXPECT_EQ(HeaderValue(png.headers, "Content-Encoding"), "");
  EXPECT_EQ(web_.Request("/javascript/style.css").status, 401);  // files need a login too
}

TEST_F(WebServerTest, EveryAnswerCarriesTheSecurityHeadersAndPagesAreNeverStored) {
  const struct {
    std::string path;
    bool login;
    int status;
  } answers[] = {{"/worklist", true, 200}, {"/", false, 401}, {"/javascript/style.css", true, 200},
                 {"/nothing.here", true, 404}, {"/logout", true, 401}};
  for (const auto& a : answers) {
    const HttpAnswer answer = a.login ? web_.Admin(a.path) : web_.Request(a.path);
    EXPECT_EQ(answer.status, a.status) << a.path;
    EXPECT_THAT(HeaderValue(answer.headers, "Content-Security-Policy"),
                HasSubstr("script-src 'self'; style-src 'self'")) << a.path;
    EXPECT_THAT(HeaderValue(answer.headers, "Content-Security-Policy"), HasSubstr("frame-ancestors 'none'"));
    EXPECT_EQ(HeaderValue(answer.headers, "X-Frame-Options"), "DENY") << a.path;
    EXPECT_EQ(HeaderValue(answer.headers, "X-Content-Type-Options"), "nosniff") << a.path;
    EXPECT_EQ(HeaderValue(answer.headers, "Referrer-Policy"), "same-origin") << a.path;
    EXPECT_EQ(HeaderValue(answer.headers, "Strict-Transport-Security"), "") << a.path;  // plain HTTP
    if (a.path != "/javascript/style.css") {
      EXPECT_EQ(HeaderValue(answer.headers, "Cache-Control"), "no-store") << a.path;
    }
  }
  // Our pages carry no inline script for that policy to block.
  for (const char* page : {"/", "/worklist", "/add2wl", "/UserQuery"}) {
    const std::string body = web_.Admin(page).body;
    EXPECT_THAT(body, Not(HasSubstr("<script>"))) << page;
    EXPECT_THAT(body, Not(HasSubstr("<script type"))) << page;
    EXPECT_THAT(body, Not(HasSubstr(" onclick="))) << page;
    EXPECT_THAT(body, Not(HasSubstr(" style="))) << page;
  }
}

TEST_F(WebServerTest, WrongPasswordsSlowDownFurtherAttemptsUntilTheWaitIsOver) {
  for (int i = 0; i < 5; ++i) EXPECT_EQ(web_.Request("/", "admin", "guess" + std::to_string(i)).status, 401);
  // Even the right password waits now: a guesser cannot tell.
  const HttpAnswer waiting = web_.Admin("/");
  EXPECT_EQ(waiting.status, 429);
  EXPECT_EQ(HeaderValue(waiting.headers, "Retry-After"), "1");
  EXPECT_THAT(waiting.body, HasSubstr("Too many failed logins. Try again in 1 seconds."));
  usleep(1100 * 1000);
  EXPECT_EQ(web_.Admin("/").status, 200);  // the wait ended by itself, and the success clears the count
  EXPECT_EQ(web_.Request("/", "admin", "guess").status, 401);
  const std::string log = web_.Server().Log();
  EXPECT_THAT(log, HasSubstr("WARNING, User=admin, Address=127.0.0.1, 5 failed logins, next attempt allowed in 1 s"));
  EXPECT_THAT(log, HasSubstr("WARNING, User=admin, Address=127.0.0.1, Page=index.htm, login refused for 1 s"));
}

// Every request logs in again (HTTP Basic); the audit trail records a
// session's first, and again after a failed login from that address, for
// another address or another user; never the password.
TEST_F(WebServerTest, SuccessfulLoginsReachTheAuditTrailOncePerSession) {
  const std::string fromOther = "--interface 127.0.0.2";
  const struct {
    std::string user, password, curlOptions;
    int status;
    const char* newLine;  // the audit line the request adds ("": none)
  } steps[] = {
      {"admin", kAdminPassword, "", 200, R"("event":"login","action":"E","outcome":"success","actorType":"web user","actor":"admin","address":"127.0.0.1","objectType":"user","object":"admin","detail":"Page=index.htm"})"},
      {"admin", kAdminPassword, "", 200, ""},
      {"admin", kAdminPassword, "", 200, ""},
      {"admin", kAdminPassword, fromOther, 200, R"("address":"127.0.0.2","objectType":"user","object":"admin")"},
      {"admin", kAdminPassword, fromOther, 200, ""},
      {"clerk", kClerkPassword, "", 200, R"("outcome":"success","actorType":"web user","actor":"clerk","address":"127.0.0.1")"},
      {"admin", "guess", "", 401, R"("event":"login-failure","action":"E","outcome":"failure","actorType":"web user","actor":"admin","address":"127.0.0.1")"},
      {"admin", kAdminPassword, "", 200, R"("event":"login","action":"E","outcome":"success","actorType":"web user","actor":"admin","address":"127.0.0.1")"},
      {"admin", kAdminPassword, fromOther, 200, ""},  // the failure was not from there
      {"admin", kAdminPassword, "", 200, ""},
  };
  std::string before = web_.AuditLog();
  for (const auto& step : steps) {
    const std::string what = step.user + " " + step.curlOptions + " " + std::to_string(step.status);
    EXPECT_EQ(web_.Request("/", step.user, step.password, step.curlOptions).status, step.status) << what;
    const std::string now = web_.AuditLog();
    ASSERT_EQ(now.compare(0, before.size(), before), 0) << what;
    const std::string added = now.substr(before.size());
    if (*step.newLine) {
      EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << what << added;
      EXPECT_THAT(added, HasSubstr(step.newLine)) << what;
    } else {
      EXPECT_EQ(added, "") << what;
    }
    before = now;
  }
  EXPECT_THAT(before, Not(HasSubstr(kAdminPassword)));
  EXPECT_THAT(before, Not(HasSubstr("guess")));
}

TEST_F(WebServerTest, HostileRequestsGetA4xxAndTheServerGoesOn) {
  const int port = web_.Server().WebPort();
  const std::string auth = kAdminAuthorization;
  const std::pair<std::string, const char*> requests[] = {
      {"GET /\r\n\r\n", "HTTP/1.1 400"},
      {"GET / HTTP/1.1\r\nHost x\r\n\r\n", "HTTP/1.1 400"},
      {"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + std::string(200000, 'a') + "\r\n\r\n", "HTTP/1.1 431"},
      {"GET /" + std::string(100000, 'a') + " HTTP/1.1\r\nHost: x\r\n\r\n", "HTTP/1.1 414"},
      {"POST /display_wlquery HTTP/1.1\r\nHost: x\r\n" + auth + "Content-Length: 99999999\r\n\r\n", "HTTP/1.1 413"},
      {"POST /display_wlquery HTTP/1.1\r\nHost: x\r\n" + auth + "Content-Length: -5\r\n\r\n", "HTTP/1.1 400"},
      {"DELETE / HTTP/1.1\r\nHost: x\r\n" + auth + "\r\n", "HTTP/1.1 405"},
      {"GET / HTTP/1.1\r\nHost: x\r\nAuthorization: Basic !!!\r\n\r\n", "HTTP/1.1 401"},
  };
  for (const auto& [bytes, status] : requests)
    EXPECT_THAT(RawExchange(port, bytes), StartsWith(status)) << bytes.substr(0, 60);
  // libmicrohttpd ends the path at a decoded NUL: what remains is looked up.
  EXPECT_THAT(RawExchange(port, "GET /%00/../TRVGUI.ini HTTP/1.1\r\nHost: x\r\n" + auth + "\r\n"),
              Not(HasSubstr("[TRVSVC]")));
  // A body larger than allowed is refused while it arrives.
  const std::string big(2 << 20, 'x');
  EXPECT_THAT(RawExchange(port, "POST /display_wlquery HTTP/1.1\r\nHost: x\r\n" + auth +
                                    "Transfer-Encoding: chunked\r\n\r\n" + "200000\r\n" + big + "\r\n0\r\n\r\n"),
              StartsWith("HTTP/1.1 413"));
  EXPECT_EQ(web_.Admin("/").status, 200);
}

// With AuditSyslogFormat=dicom an audit repository gets a User
// Authentication message for a refused and for a successful login, and an
// Order Record naming the patient and the accession number for a new entry.
TEST(WebAuditRepository, LoginsAndChangesArriveAsDicomAuditMessages) {
  SyslogCollector repository;
  WebInstance web("webatna");
  ASSERT_EQ(web.Prepare({{"AuditSyslog", repository.Target()}, {"AuditSyslogFormat", "dicom"}}), "");
  ASSERT_TRUE(web.Start()) << web.Server().Log();
  EXPECT_EQ(web.Request("/worklist", "clerk", "not the password").status, 401);
  std::string entry;
  for (const char* field : {"PatientID=P5", "LastName=DOE", "FirstName=ANN", "PatientBD=2024-01-02", "PatientSex=F",
                            "Modality=CT", "StartDate=2024-01-02", "HOUR=07", "MINUTES=50", "AccessionNumber=AT1"})
    entry += " --data-urlencode " + ShellQuote(field);
  EXPECT_THAT(web.Request("/wlprocess", "clerk", kClerkPassword, entry).body, HasSubstr("Added Worklist entry"));
  const std::string clerk = "participant clerk alt=None requestor=true at=127.0.0.1/2 role=-\n";
  const std::string expected[][2] = {
      {"event 110114:DCM:User Authentication E 4 type=110122:DCM:Login why=wrong user name or password, Page=worklist\n",
       "source TARVELIN@"},
      {"event 110114:DCM:User Authentication E 0 type=110122:DCM:Login why=-\n",
       "participant TARVELIN alt=AETITLES=TARVELIN requestor=false"},
      {"event 110109:DCM:Order Record C 0 type=- why=-\n",
       "object P5 type=1/1 id=2:RFC-3881:Patient Number name=DOE^ANN accession=AT1 mpps=- about=PatientID:  -> P5;"},
  };
  for (const auto& [event, more] : expected) {
    const std::string summary = DicomAuditSummary(SyslogBody(repository.Receive()));
    EXPECT_EQ(summary.rfind(event, 0), 0u) << summary;
    EXPECT_THAT(summary, HasSubstr("participant clerk alt=None requestor=true at=127.0.0.1/2 role=-\n"));
    EXPECT_THAT(summary, HasSubstr(more));
  }
  EXPECT_THAT(web.Server().Log(), Not(HasSubstr("AuditSyslogFormat")));
}

TEST(WebServerStart, ABusyPortLeavesTheRestOfTheServiceRunning) {
  WebInstance web("webbusy");
  ASSERT_EQ(web.Prepare(), "");
  const int blocker = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(web.Server().WebPort()));
  ASSERT_EQ(bind(blocker, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(blocker, 1), 0);
  ASSERT_TRUE(web.Server().Start());
  EXPECT_TRUE(web.Server().WaitForLog(
      "ERROR, Exception Activating WEB server in Port: " + std::to_string(web.Server().WebPort()), 1, 15000))
      << web.Server().Log();
  const PeerResult echo = RunPeer("echoscu 127.0.0.1 " + std::to_string(web.Server().DicomPort()), 30);
  EXPECT_EQ(echo.ExitCode, 0) << echo.Output;
  close(blocker);
}
}  // namespace

}  // namespace tarvelin
