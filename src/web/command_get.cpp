#include "web/command_get.h"

#include <strings.h>

#include <filesystem>
#include <system_error>

#include "service/log.h"
#include "service/settings.h"
#include "web/check_user.h"
#include "web/page_table.h"
#include "web/request_params.h"

namespace {
// The parameter list that "wlprocess" reads: the split raw body, the decoded
// form fields, or the split query text.
ParamList BuildParamList(const HttpRequest& request) {
  ParamList list;
  if (request.Command == "POST" && request.PostStream)
    SplitParams(list, *request.PostStream, request.CharSet);
  else if (request.Command == "POST")
    list = request.Params;
  else if (!request.UnparsedParams.empty())
    SplitParams(list, request.UnparsedParams, request.CharSet);
  return list;
}

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

// The private keys of HTTPS, of the DICOM TLS port and of the PACS client
// may well lie in the instance folder.
bool IsPrivateKey(const std::string& path) {
  const ServerSettingsRecord& s = ServerSettings;
  for (const std::string* key : {&s.WEBTLSKey, &s.WLTLSKey, &s.PACS_TLSKey}) {
    std::error_code ec;
    if (!key->empty() && std::filesystem::equivalent(path, InstanceFile(*key), ec)) return true;
  }
  return false;
}

void ServeFile(const std::string& document, HttpResponse& response) {
  const std::string path = ServerSettings.ProgramFolder + document;
  std::error_code ec;
  if (IsPublicDocument(document) && std::filesystem::is_regular_file(path, ec) && !IsPrivateKey(path)) {
    response.ContentType = ContentTypeOfFile(document);
    response.SmartServeFile(path);
    return;
  }
  WriteLog("ERROR, The URL does not exists: " + document);
  response.ResponseNo = 404;
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
    if (ServerSettings.Authentication_Enabled && !CheckUser(user, request.AuthPassword, rights)) {
      response.AuthRealm = "authenticate";
      response.CloseConnection = true;
      WriteLog("ERROR, User=" + user + ", Page=" + document + ", not authenticated");
      return;
    }
    const ParamList list = BuildParamList(request);
    WriteLog("INFO, User=" + user + ", Page=" + document);
    if (const PageRoute* page = FindPage(document, rights)) {
      const PageRequest pageRequest{request, list, user, rights};
      response.ContentText = page->build(pageRequest);
      response.ContentType = "text/html";
      return;
    }
    ServeFile(document, response);
  } catch (...) {
    response = HttpResponse();
    response.ResponseNo = 500;
  }
}
