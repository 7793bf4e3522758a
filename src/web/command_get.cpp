#include "web/command_get.h"

#include <strings.h>

#include <filesystem>
#include <optional>
#include <system_error>

#include "service/audit_actor.h"
#include "service/audit_trail.h"
#include "service/log.h"
#include "service/settings.h"
#include "web/check_user.h"
#include "web/cross_site_guard.h"
#include "web/form_token.h"
#include "web/gzip_body.h"
#include "web/login_sessions.h"
#include "web/login_throttle.h"
#include "web/page_frame.h"
#include "web/page_table.h"
#include "web/request_params.h"
#include "web/static_file.h"

namespace tarvelin {

namespace {
// The parameter list that "wlprocess" reads: the split raw body, the decoded
// form fields, or the split query text. Empty when the request's text is
// not valid in the charset it declares.
std::optional<ParamList> BuildParamList(const HttpRequest& request) {
  ParamList list;
  if (request.TextRefused) return std::nullopt;
  if (request.Command == "POST" && request.PostStream) {
    if (!SplitParams(list, *request.PostStream, request.CharSet)) return std::nullopt;
  } else if (request.Command == "POST") {
    list = request.Params;
  } else if (!request.UnparsedParams.empty()) {
    if (!SplitParams(list, request.UnparsedParams, request.CharSet)) return std::nullopt;
  }
  return list;
}

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// The private keys of HTTPS, of the DICOM TLS port, of the PACS client and
// of the audit syslog client may well lie in the instance folder.
bool IsPrivateKey(const std::string& path) {
  const ServerSettingsRecord& s = ServerSettings;
  for (const std::string* key : {&s.WEBTLSKey, &s.WLTLSKey, &s.PACS_TLSKey, &s.AuditSyslogTLSKey}) {
    std::error_code ec;
    if (!key->empty() && std::filesystem::equivalent(path, InstanceFile(*key), ec)) return true;
  }
  return false;
}

void ServeFile(const HttpRequest& request, const std::string& document, HttpResponse& response) {
  const std::string path = ServerSettings.ProgramFolder + document;
  std::error_code ec;
  if (IsPublicDocument(document) && std::filesystem::is_regular_file(path, ec) && !IsPrivateKey(path)) {
    ServeStaticFile(request, path, document, response);
    return;
  }
  WriteLog("ERROR, The URL does not exists: " + document);
  response.ResponseNo = 404;
}

// A list page is tens of kilobytes of repetitive markup; gzip makes it a few.
void CompressPage(const HttpRequest& request, HttpResponse& response) {
  constexpr std::size_t kWorthIt = 1024;
  if (response.ContentText.size() < kWorthIt || !AcceptsGzip(request.AcceptEncoding)) return;
  if (auto compressed = Gzip(response.ContentText, 6)) {
    response.ContentText = std::move(*compressed);
    response.Headers.emplace_back("Content-Encoding", "gzip");
    response.Headers.emplace_back("Vary", "Accept-Encoding");
  }
}

void Refuse(HttpResponse& response, int status, const std::string& text) {
  response.ResponseNo = status;
  response.ContentType = "text/html";
  response.ContentText = RefusalPage(text);
}

// A login in the audit trail: who, from where, for which page. Every
// refused one; a successful one when it begins a session (login_sessions.h).
void AuditLogin(const HttpRequest& request, const std::string& document, bool success, const std::string& why = "") {
  const AuditActorScope actor({"web user", request.AuthUsername, request.ClientAddress});
  if (success) {
    if (!WebLoginSessions().Succeeded(request.AuthUsername, request.ClientAddress, LoginSessions::Clock::now())) return;
    WriteAudit({"login", AuditAction::Execute, true, request.AuthUsername, "user", {}, "Page=" + document});
    return;
  }
  WebLoginSessions().Failed(request.ClientAddress);
  WriteAudit({"login-failure", AuditAction::Execute, false, request.AuthUsername, "user", {}, why + ", Page=" + document});
}

// Checks the login; false when the response is already the refusal.
bool LogIn(const HttpRequest& request, const std::string& document, HttpResponse& response, int& rights) {
  const std::string& user = request.AuthUsername;
  LoginThrottle& throttle = WebLoginThrottle();
  const bool attempted = !user.empty() || !request.AuthPassword.empty();
  const auto now = LoginThrottle::Clock::now();
  if (attempted) {
    if (const long long wait = throttle.WaitSeconds(request.ClientAddress, user, now); wait > 0) {
      WriteLog("WARNING, User=" + user + ", Address=" + request.ClientAddress + ", Page=" + document +
               ", login refused for " + std::to_string(wait) + " s after repeated failed logins");
      AuditLogin(request, document, false, "refused for " + std::to_string(wait) + " s after repeated failures");
      Refuse(response, 429, "Too many failed logins. Try again in " + std::to_string(wait) + " seconds.");
      response.Headers.emplace_back("Retry-After", std::to_string(wait));
      return false;
    }
  }
  if (CheckUser(user, request.AuthPassword, rights, request.ClientAddress)) {
    throttle.Succeeded(request.ClientAddress, user);
    AuditLogin(request, document, true);
    return true;
  }
  response.AuthRealm = "authenticate";
  response.CloseConnection = true;
  WriteLog("ERROR, User=" + user + ", Page=" + document + ", not authenticated");
  if (attempted) {
    AuditLogin(request, document, false, "wrong user name or password");
    // The wait runs from the verdict, not from the request's arrival: a
    // check that queued behind others' must not use up the wait it starts.
    const auto failedAt = LoginThrottle::Clock::now();
    const int failures = throttle.Failed(request.ClientAddress, user, failedAt);
    if (failures >= LoginThrottle::kFreeFailures)
      WriteLog("WARNING, User=" + user + ", Address=" + request.ClientAddress + ", " + std::to_string(failures) +
               " failed logins, next attempt allowed in " +
               std::to_string(throttle.WaitSeconds(request.ClientAddress, user, failedAt)) + " s");
  }
  return false;
}

// Ends the browser's login and makes the user's open forms useless. A 401
// tells the browser that the credentials it keeps for this server are
// rejected, so it drops them; its challenge names no scheme a browser
// speaks, so it shows the page instead of asking for a login at once.
void LogOut(const std::string& user, HttpResponse& response) {
  WriteLog("INFO, User=" + user + ", logged out");
  WebFormTokens().EndLogin(user);
  ForgetVerifiedUser(user);
  WebLoginSessions().LoggedOut(user);
  response.ResponseNo = 401;
  response.Headers.emplace_back("WWW-Authenticate", "LoggedOut realm=\"authenticate\"");
  response.CloseConnection = true;
  response.ContentType = "text/html";
  response.ContentText = LoggedOutPage();
}

// False (the response is the refusal) when a request that changes data did
// not come from our own pages.
bool FromOwnPage(const PageRoute& page, const PageRequest& r, const std::string& document, HttpResponse& response) {
  const bool changes = page.guard == PageGuard::Changes || page.guard == PageGuard::Integration ||
                       (page.guard == PageGuard::ChangesOnPost && r.IsPost());
  if (!changes) return true;
  const std::string head = "ERROR, User=" + r.user + ", Page=" + document;
  if (const std::string refusal = CrossSiteRefusal(r.http); !refusal.empty()) {
    WriteLog(head + ", cross-site request refused, " + refusal);
    Refuse(response, 403, "Refused: this change did not come from a page of this server.");
    return false;
  }
  // Other systems' scripts are no browsers and have no form; a browser's request needs the token.
  if (page.guard == PageGuard::Integration && !FromBrowser(r.http)) return true;
  std::string token = FirstParam(r.http.Params, kFormTokenField);
  if (token.empty()) token = FirstParam(r.list, kFormTokenField);
  if (!WebFormTokens().Matches(r.user, token)) {
    WriteLog(head + ", form token missing or wrong");
    Refuse(response, 403, "Refused: the form is out of date or not from this server. Open the page again.");
    return false;
  }
  return true;
}
}  // namespace

std::string NormaliseDocument(const std::string& path) {
  std::string document = path;
  if (document.starts_with("\\")) document.erase(0, 1);
  if (document.starts_with("/")) document.erase(0, 1);
  return document.empty() ? "index.htm" : document;
}

bool IsPublicDocument(const std::string& document) {
  if (document.empty() || document.front() == '/') return false;
  std::vector<std::string> segments;
  for (std::string::size_type from = 0;;) {
    const auto slash = document.find('/', from);
    segments.push_back(document.substr(from, slash == std::string::npos ? std::string::npos : slash - from));
    if (slash == std::string::npos) break;
    from = slash + 1;
  }
  for (const auto& segment : segments)
    if (segment.empty() || segment == "." || segment == "..") return false;
  // Compared without case: a case-insensitive file system would serve them too.
  for (const char* folder : {"database", "logs", "HL7in", "HL7out", "HL7error"})
    if (segments.size() > 1 && SameName(segments.front(), folder)) return false;
  for (const char* file : {"TRVGUI.ini", "wlfilter.txt", "callers.txt"})
    if (segments.size() == 1 && SameName(segments.front(), file)) return false;
  return true;
}

void CommandGet(const HttpRequest& request, HttpResponse& response) {
  const std::string document = NormaliseDocument(request.Document);
  const std::string& user = request.AuthUsername;
  int rights = 0;
  try {
    if (ServerSettings.Authentication_Enabled && !LogIn(request, document, response, rights)) return;
    // Changes made for this request are the logged-in user's.
    const AuditActorScope actor({"web user", user, request.ClientAddress});
    const std::optional<ParamList> list = BuildParamList(request);
    if (!list) {
      WriteLog("ERROR, User=" + user + ", Page=" + document + ", text not valid in its declared character set " + request.CharSet + ", refused");
      return Refuse(response, 400, "Refused: the text sent is not valid in the character set it declares.");
    }
    WriteLog("INFO, User=" + user + ", Page=" + document);
    if (document == "logout") return LogOut(user, response);
    if (const PageRoute* page = FindPage(document, rights)) {
      const std::string token = WebFormTokens().For(user);
      const PageRequest pageRequest{request, *list, user, rights, token};
      if (!FromOwnPage(*page, pageRequest, document, response)) return;
      PageResult result = page->build(pageRequest);
      if (!result.Location.empty()) {
        response.ResponseNo = 303;
        response.Headers.emplace_back("Location", result.Location);
        return;
      }
      response.ContentText = std::move(result.Text);
      response.ContentType = "text/html";
      CompressPage(request, response);
      return;
    }
    ServeFile(request, document, response);
  } catch (...) {
    response = HttpResponse();
    response.ResponseNo = 500;
  }
}

}  // namespace tarvelin
