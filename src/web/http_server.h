#pragma once
// The HTTP/1.1 server of the web administration: GNU libmicrohttpd, one
// thread per connection, plain HTTP or (with a certificate) HTTPS only.
// It offers the request and response items the dispatcher uses and nothing
// of the pages; Basic authentication's 401 challenge comes from here.
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

struct MHD_Daemon;

namespace tarvelin {

class ConnectionDeadlines;

// One request as the handler sees it. Texts are UTF-8 (see request_text.h).
struct HttpRequest {
  std::string Document;        // the path without the query text, %-decoded: "/worklist"
  std::string Command;         // the method: "GET", "POST" or "HEAD"
  std::vector<std::string> Params;  // "name=value" pairs, decoded, in arrival order: the
                                    // query text, or the body of a form-encoded POST
  std::string UnparsedParams;  // the raw query text after "?" (a form POST: the raw body)
  std::optional<std::string> PostStream;  // the raw body of a POST that is not form-encoded
  std::string CharSet;         // the charset named by the request's content type, or ""
  bool TextRefused = false;    // the query text or form body is not valid in that charset
  std::string AuthUsername;    // Basic credentials, "" when absent
  std::string AuthPassword;
  std::string IfModifiedSince;  // the header, used by SmartServeFile
  std::string IfNoneMatch;      // the header, for static files' ETag
  std::string AcceptEncoding;   // the header: "gzip" in it allows a compressed answer
  // What a browser says of where the request comes from; integrators'
  // scripts send neither.
  std::string Origin;           // "http://host:port", "null", or ""
  std::string SecFetchSite;     // "same-origin", "same-site", "cross-site", "none" or ""
  std::string Host;             // the Host header
  std::string ClientAddress;    // the peer's IP address as text
  bool Secure = false;          // arrived over HTTPS
};

// What the handler answers. A built page: ContentType and ContentText (a
// "text/html" page goes out declared as UTF-8). ResponseNo replaces 200 on failure paths; an error status
// without text gets a minimal page naming it.
class HttpResponse {
 public:
  std::string ContentType;
  std::string ContentText;
  int ResponseNo = 200;
  std::string AuthRealm;         // set: 401 with the Basic challenge for this realm
  bool CloseConnection = false;  // close the connection after this response
  // Further response headers (Location, ETag, Content-Encoding, ...). A 401
  // or 403 with ContentText sends that text as its page; a 303 or 304 sends
  // no body.
  std::vector<std::pair<std::string, std::string>> Headers;

  // Sends the file at `path` as the body (ContentType and Headers as set).
  // A file that cannot be opened by then answers 404.
  void SmartServeFile(const std::string& path) { file_ = path; }
  const std::string& FileToServe() const { return file_; }

 private:
  std::string file_;
};

// The content type for a file name by its extension (case-insensitive);
// "application/octet-stream" for an unknown one.
std::string ContentTypeOfFile(const std::string& name);

struct HttpClientLimits {
  int connectionsPerAddress = 16;
  int headerSeconds = 10;
  int bodySeconds = 30;
  int answerSeconds = 30;
};

class HttpServer {
 public:
  // Called on the connection's thread for every complete GET, POST or HEAD
  // request (other methods are answered 405 without it). May throw: the
  // request is then answered 500.
  using Handler = std::function<void(const HttpRequest&, HttpResponse&)>;

  // Largest request body accepted; a larger one is answered 413.
  static constexpr std::size_t kMaxBody = 1 << 20;

  HttpServer();
  ~HttpServer();  // Deactivate()
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  void SetDefaultPort(int port) { port_ = port; }
  void SetOnCommandGet(Handler handler) { handler_ = std::move(handler); }
  // Speak HTTPS only, with these PEM texts (certificate chain, private key).
  void SetTls(std::string certificatePem, std::string keyPem);
  // What one client may hold: connections open at once from one address
  // (more are closed at once), seconds to send a request's headers (from the
  // connection's start or the previous answer) and then its body (see
  // ConnectionDeadlines), and seconds the client may take none of an answer
  // being sent. Before Activate.
  void SetClientLimits(const HttpClientLimits& limits) { limits_ = limits; }

  // Listens on the default port on every local IPv4 address (0: any free
  // port). Throws std::runtime_error with the reason when it cannot.
  void Activate();
  // Stops listening, closes every connection and waits for their threads.
  // Safe to call more than once.
  void Deactivate();

  int Port() const;  // the port listened on, after Activate

  // libmicrohttpd's callbacks; not for other callers.
  struct Callbacks;

 private:
  void Answer(const HttpRequest& request, HttpResponse& response) const;

  int port_ = 0;
  Handler handler_;
  std::string certificatePem_, keyPem_;  // must outlive the daemon
  HttpClientLimits limits_;
  std::unique_ptr<ConnectionDeadlines> deadlines_;  // lives while the daemon does
  MHD_Daemon* daemon_ = nullptr;
  std::mutex startLock_;
  std::string startError_;  // libmicrohttpd's complaint while Activate runs
  bool starting_ = false;
};

}  // namespace tarvelin
