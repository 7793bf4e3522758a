#include "web/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "platform/codepage.h"
#include "service/log.h"
#include "service/log_peer.h"
#include "service/text.h"
#include "web/connection_deadlines.h"
#include "web/request_text.h"
#include "web/security_headers.h"
#include "web/url_decode.h"

namespace tarvelin {

namespace {
// Per request, from the first sight of its URI until it is answered.
struct RequestState {
  std::string rawUri;
  std::string body;
  std::size_t refused = 0;  // body bytes beyond the limit, read and dropped
  bool started = false;
};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string Header(MHD_Connection* connection, const char* name) {
  const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
  return value ? value : "";
}

// "text/html; charset=UTF-8" -> "UTF-8" (quotes removed); "" without one.
std::string CharSetOf(const std::string& contentType) {
  const std::string lower = Lower(contentType);
  auto at = lower.find("charset=");
  if (at == std::string::npos) return "";
  std::string value = contentType.substr(at + 8);
  value = value.substr(0, value.find(';'));
  while (!value.empty() && (value.back() == ' ' || value.back() == '"')) value.pop_back();
  while (!value.empty() && (value.front() == ' ' || value.front() == '"')) value.erase(0, 1);
  return value;
}

// The decoded "name=value" pairs of a query text or form body, as UTF-8;
// empty and `refused` set when the text is not valid in `charSet`.
std::vector<std::string> DecodeParams(const std::string& text, const std::string& charSet, bool& refused) {
  std::vector<std::string> params;
  std::string::size_type from = 0;
  while (from <= text.size()) {
    auto end = text.find('&', from);
    if (end == std::string::npos) end = text.size();
    if (end > from) {
      auto param = RequestTextToUtf8(UrlDecode(text.substr(from, end - from), true), charSet);
      if (!param) {
        refused = true;
        return {};
      }
      params.push_back(std::move(*param));
    }
    from = end + 1;
  }
  return params;
}

std::string ClientAddressOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (!info || !info->client_addr) return "";
  char text[INET6_ADDRSTRLEN] = "";
  const sockaddr* address = info->client_addr;
  if (address->sa_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
  else if (address->sa_family == AF_INET6)
    inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(address)->sin6_addr, text, sizeof text);
  return text;
}

HttpRequest BuildRequest(MHD_Connection* connection, const char* url, const char* method, RequestState& state) {
  HttpRequest request;
  request.Document = url;
  request.Command = method;
  const std::string contentType = Header(connection, MHD_HTTP_HEADER_CONTENT_TYPE);
  request.CharSet = CharSetOf(contentType);
  request.IfModifiedSince = Header(connection, MHD_HTTP_HEADER_IF_MODIFIED_SINCE);
  request.IfNoneMatch = Header(connection, MHD_HTTP_HEADER_IF_NONE_MATCH);
  request.AcceptEncoding = Header(connection, MHD_HTTP_HEADER_ACCEPT_ENCODING);
  request.Origin = Header(connection, MHD_HTTP_HEADER_ORIGIN);
  request.SecFetchSite = Header(connection, "Sec-Fetch-Site");
  request.Host = Header(connection, MHD_HTTP_HEADER_HOST);
  request.ClientAddress = ClientAddressOf(connection);
  const auto question = state.rawUri.find('?');
  const std::string query = question == std::string::npos ? "" : state.rawUri.substr(question + 1);
  const bool formBody = request.Command == "POST" &&
                        Lower(contentType.substr(0, contentType.find(';'))) == "application/x-www-form-urlencoded";
  if (formBody) {
    request.UnparsedParams = state.body;
  } else {
    request.UnparsedParams = query;
    if (request.Command == "POST") request.PostStream = state.body;
  }
  request.Params = DecodeParams(request.UnparsedParams, request.CharSet, request.TextRefused);

  char* password = nullptr;
  if (char* user = MHD_basic_auth_get_username_password(connection, &password)) {
    request.AuthUsername = ToUtf8(user);
    MHD_free(user);
  }
  if (password) {
    request.AuthPassword = ToUtf8(password);
    MHD_free(password);
  }
  return request;
}

const char* ReasonOf(int status) {
  switch (status) {
    case 303: return "See Other";
    case 304: return "Not Modified";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 429: return "Too Many Requests";
    case 500: return "Internal Server Error";
    default: return "";
  }
}

std::string StatusPage(int status) {
  const std::string line = std::to_string(status) + " " + ReasonOf(status);
  return "<HTML><HEAD><TITLE>" + line + "</TITLE></HEAD><BODY><H1>" + line + "</H1></BODY></HTML>\r\n";
}

MHD_Response* TextResponse(const std::string& text) {
  return MHD_create_response_from_buffer(text.size(), const_cast<char*>(text.data()), MHD_RESPMEM_MUST_COPY);
}

// HTTPS: TLS 1.2 or 1.3 only, ephemeral elliptic-curve key exchange and
// AEAD ciphers only (no static RSA key exchange, no CBC), our order first.
constexpr const char* HttpsPriorities =
    "NONE:+VERS-TLS1.3:+VERS-TLS1.2:+ECDHE-ECDSA:+ECDHE-RSA:+AES-256-GCM:+AES-128-GCM:+CHACHA20-POLY1305:"
    "+AEAD:+SIGN-ALL:+GROUP-EC-ALL:+COMP-NULL:+CTYPE-X509:%SERVER_PRECEDENCE";

// A browser that reached us over HTTPS keeps to it for a year, so a later
// plain link cannot be used to strip TLS.
void AddTransportSecurity(MHD_Connection* connection, MHD_Response* response) {
  if (MHD_get_connection_info(connection, MHD_CONNECTION_INFO_PROTOCOL))
    MHD_add_response_header(response, "Strict-Transport-Security", "max-age=31536000");
}

// Every answer's security headers (see security_headers.h).
void AddSecurityHeaders(MHD_Connection* connection, MHD_Response* response) {
  for (const auto& [name, value] : SecurityHeaders()) MHD_add_response_header(response, name, value);
  AddTransportSecurity(connection, response);
}

// Queues `response` with `status`, the security headers and `extra`, and
// releases our reference.
MHD_Result Queue(MHD_Connection* connection, int status, MHD_Response* response,
                 const std::vector<std::pair<std::string, std::string>>& extra = {}) {
  if (!response) return MHD_NO;
  AddSecurityHeaders(connection, response);
  for (const auto& [name, value] : extra) MHD_add_response_header(response, name.c_str(), value.c_str());
  const MHD_Result result = MHD_queue_response(connection, static_cast<unsigned>(status), response);
  MHD_destroy_response(response);
  return result;
}

// A page of our own: its type, and never kept by a cache (pages carry patient data).
void AddPageHeaders(MHD_Response* response, std::string type) {
  if (type.empty()) type = "text/html";
  if (type == "text/html") type += "; charset=UTF-8";
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, type.c_str());
  MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
}

MHD_Result QueueStatus(MHD_Connection* connection, int status) {
  MHD_Response* response = TextResponse(StatusPage(status));
  if (!response) return MHD_NO;
  AddPageHeaders(response, "");
  if (status == 405) MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "GET, HEAD, POST");
  if (status >= 400) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  return Queue(connection, status, response);
}

MHD_Result QueueFile(MHD_Connection* connection, const HttpResponse& answer) {
  const int fd = open(answer.FileToServe().c_str(), O_RDONLY | O_CLOEXEC);
  struct stat info{};
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    if (fd >= 0) close(fd);
    return QueueStatus(connection, 404);
  }
  MHD_Response* response = MHD_create_response_from_fd(static_cast<size_t>(info.st_size), fd);  // takes the fd
  if (!response) {
    close(fd);
    return MHD_NO;
  }
  MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.ContentType.c_str());
  return Queue(connection, 200, response, answer.Headers);
}

MHD_Result QueueAnswer(MHD_Connection* connection, const HttpResponse& answer) {
  if (!answer.AuthRealm.empty()) {
    MHD_Response* response = TextResponse(answer.ContentText.empty() ? StatusPage(401) : answer.ContentText);
    if (!response) return MHD_NO;
    AddPageHeaders(response, "");
    AddSecurityHeaders(connection, response);
    if (answer.CloseConnection) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    const MHD_Result result = MHD_queue_basic_auth_fail_response(connection, answer.AuthRealm.c_str(), response);
    MHD_destroy_response(response);
    return result;
  }
  if (!answer.FileToServe().empty() && answer.ResponseNo == 200) return QueueFile(connection, answer);
  if (answer.ResponseNo == 303 || answer.ResponseNo == 304) {
    MHD_Response* response = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
    if (response && answer.ResponseNo == 303) MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    return Queue(connection, answer.ResponseNo, response, answer.Headers);
  }
  if (answer.ContentText.empty() && answer.ResponseNo >= 400) return QueueStatus(connection, answer.ResponseNo);

  MHD_Response* response = TextResponse(answer.ContentText);
  if (!response) return MHD_NO;
  // A static file states its own caching; a built page is never kept.
  const bool cacheable = std::any_of(answer.Headers.begin(), answer.Headers.end(),
                                     [](const auto& h) { return h.first == MHD_HTTP_HEADER_CACHE_CONTROL; });
  if (cacheable)
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.ContentType.c_str());
  else
    AddPageHeaders(response, answer.ContentType);
  if (answer.CloseConnection) MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
  return Queue(connection, answer.ResponseNo, response, answer.Headers);
}

// The deadlines' record of a connection (see ConnectionDeadlines).
ConnectionDeadlines::Connection* DeadlinesOf(MHD_Connection* connection) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
  return info ? static_cast<ConnectionDeadlines::Connection*>(info->socket_context) : nullptr;
}
}  // namespace

struct HttpServer::Callbacks {
  static void Notify(void* self, MHD_Connection* connection, void** socketContext,
                     MHD_ConnectionNotificationCode code) {
    ConnectionDeadlines& deadlines = *static_cast<HttpServer*>(self)->deadlines_;
    if (code == MHD_CONNECTION_NOTIFY_STARTED) {
      const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
      *socketContext = deadlines.Opened(info ? info->connect_fd : -1, ClientAddressOf(connection));
    } else {
      deadlines.Closed(static_cast<ConnectionDeadlines::Connection*>(*socketContext));
      *socketContext = nullptr;
    }
  }

  static void* UriLog(void*, const char* uri, MHD_Connection*) {
    auto* state = new RequestState;
    state->rawUri = uri ? uri : "";
    return state;
  }

  static void Completed(void* self, MHD_Connection* connection, void** context, MHD_RequestTerminationCode) {
    static_cast<HttpServer*>(self)->deadlines_->Answered(DeadlinesOf(connection));
    delete static_cast<RequestState*>(*context);
    *context = nullptr;
  }

  static void Logger(void* self, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    auto* server = static_cast<HttpServer*>(self);
    {
      std::lock_guard<std::mutex> guard(server->startLock_);
      if (server->starting_) {
        if (server->startError_.empty()) server->startError_ = line;
        return;
      }
    }
    WriteDebugLog("DEBUG, HTTP server: " + line);
  }

  static MHD_Result Access(void* self, MHD_Connection* connection, const char* url, const char* method,
                           const char* version, const char* upload, size_t* uploadSize, void** context) {
    // Nothing may escape into libmicrohttpd's C frames.
    try {
      // Every line written for the request names the client.
      const PeerLogScope peer(ClientAddressOf(connection));
      return Serve(static_cast<const HttpServer*>(self), connection, url, method, version, upload, uploadSize,
                   context);
    } catch (...) {
      return MHD_NO;
    }
  }

  static MHD_Result Serve(const HttpServer* self, MHD_Connection* connection, const char* url, const char* method,
                          const char*, const char* upload, size_t* uploadSize, void** context) {
    auto* state = static_cast<RequestState*>(*context);
    if (!state) return MHD_NO;
    const std::string command = method;
    ConnectionDeadlines& deadlines = *self->deadlines_;
    if (!state->started) {
      state->started = true;
      deadlines.HeadersDone(DeadlinesOf(connection));
      if (command != "GET" && command != "POST" && command != "HEAD") return QueueStatus(connection, 405);
      const std::string length = Header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
      const long long declared = ToIntDef(length, -1);
      if (!length.empty() && (declared < 0 || declared > static_cast<long long>(kMaxBody)))
        return QueueStatus(connection, declared < 0 ? 400 : 413);
      return MHD_YES;
    }
    if (*uploadSize > 0) {
      // A body that outgrows the limit (a chunked one announces no length) is
      // read to its end and dropped, so the 413 reaches a client that is
      // still sending; one that goes on for ever loses its connection.
      if (state->refused > 0 || state->body.size() + *uploadSize > kMaxBody) {
        state->refused += *uploadSize;
        state->body.clear();
        if (state->refused > 64 * kMaxBody) return MHD_NO;
      } else {
        state->body.append(upload, *uploadSize);
      }
      *uploadSize = 0;
      return MHD_YES;
    }
    deadlines.Answering(DeadlinesOf(connection));
    if (state->refused > 0) {
      deadlines.Sending(DeadlinesOf(connection));
      return QueueStatus(connection, 413);
    }
    HttpRequest request = BuildRequest(connection, url, method, *state);
    request.Secure = !self->certificatePem_.empty();
    HttpResponse response;
    self->Answer(request, response);
    deadlines.Sending(DeadlinesOf(connection));
    return QueueAnswer(connection, response);
  }
};

HttpServer::HttpServer() = default;

HttpServer::~HttpServer() { Deactivate(); }

void HttpServer::SetTls(std::string certificatePem, std::string keyPem) {
  certificatePem_ = std::move(certificatePem);
  keyPem_ = std::move(keyPem);
}

void HttpServer::Answer(const HttpRequest& request, HttpResponse& response) const {
  try {
    if (handler_) handler_(request, response);
  } catch (...) {
    response = HttpResponse();
    response.ResponseNo = 500;
  }
}

void HttpServer::Activate() {
  if (daemon_) return;
  const bool tls = !certificatePem_.empty();
  if (tls && MHD_is_feature_supported(MHD_FEATURE_TLS) != MHD_YES)
    throw std::runtime_error("this libmicrohttpd has no TLS support");
  unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_POLL | MHD_USE_ERROR_LOG;
  if (tls) flags |= MHD_USE_TLS;
  std::vector<MHD_OptionItem> options = {
      {MHD_OPTION_URI_LOG_CALLBACK, reinterpret_cast<intptr_t>(&Callbacks::UriLog), nullptr},
      {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&Callbacks::Completed), this},
      {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&Callbacks::Notify), this},
      {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&Callbacks::Logger), this},
      // The deadlines bound every phase of a connection, the sending of an
      // answer by the client's progress; libmicrohttpd's own time-out counts
      // only the time its thread waits to write, which a slow reader behind
      // a large socket buffer can exceed, so it is off. The number of
      // connections (one thread each) is bounded, in all and per client address.
      {MHD_OPTION_CONNECTION_TIMEOUT, 0, nullptr},
      {MHD_OPTION_CONNECTION_LIMIT, 256, nullptr},
      {MHD_OPTION_PER_IP_CONNECTION_LIMIT, limits_.connectionsPerAddress, nullptr},
  };
  if (tls) {
    options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, const_cast<char*>(certificatePem_.c_str())});
    options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, const_cast<char*>(keyPem_.c_str())});
    options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(HttpsPriorities)});
  }
  options.push_back({MHD_OPTION_END, 0, nullptr});
  {
    std::lock_guard<std::mutex> guard(startLock_);
    starting_ = true;
    startError_.clear();
  }
  deadlines_ = std::make_unique<ConnectionDeadlines>(limits_.headerSeconds, limits_.bodySeconds, limits_.answerSeconds);
  daemon_ = MHD_start_daemon(flags, static_cast<uint16_t>(port_), nullptr, nullptr, &Callbacks::Access, this,
                             MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
  std::lock_guard<std::mutex> guard(startLock_);
  starting_ = false;
  if (!daemon_) {
    deadlines_.reset();
    throw std::runtime_error(startError_.empty() ? "cannot listen on port " + std::to_string(port_) : startError_);
  }
}

void HttpServer::Deactivate() {
  if (!daemon_) return;
  MHD_stop_daemon(daemon_);  // closes every connection, telling the deadlines
  daemon_ = nullptr;
  deadlines_.reset();
}

int HttpServer::Port() const {
  if (!daemon_) return port_;
  const MHD_DaemonInfo* info = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT);
  return info ? info->port : port_;
}

std::string ContentTypeOfFile(const std::string& name) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {".htm", "text/html"},         {".html", "text/html"},         {".css", "text/css"},
      {".js", "text/javascript"},    {".json", "application/json"},  {".png", "image/png"},
      {".jpg", "image/jpeg"},        {".jpeg", "image/jpeg"},        {".gif", "image/gif"},
      {".svg", "image/svg+xml"},     {".ico", "image/x-icon"},       {".txt", "text/plain"},
      {".xml", "application/xml"},   {".pdf", "application/pdf"},    {".woff", "font/woff"},
      {".woff2", "font/woff2"},      {".zip", "application/zip"},    {".map", "application/json"},
  };
  const auto dot = name.rfind('.');
  const auto slash = name.rfind('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) {
    const std::string extension = Lower(name.substr(dot));
    for (const auto& [ext, type] : kTypes)
      if (extension == ext) return type;
  }
  return "application/octet-stream";
}

}  // namespace tarvelin
