#include "web/static_file.h"

#include <sys/stat.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <sstream>

#include "service/settings.h"
#include "web/gzip_body.h"
#include "web/request_params.h"

namespace tarvelin {

namespace {
constexpr std::size_t kLargestCompressed = 4 << 20;
constexpr const char* kVersionedCaching = "private, max-age=31536000, immutable";
// Other addresses are asked again each time; the validators make that a 304.
constexpr const char* kRevalidate = "no-cache";

std::string Version(const struct stat& info) {
  char text[48];
  std::snprintf(text, sizeof text, "%llx-%llx", static_cast<unsigned long long>(info.st_mtim.tv_sec) * 1000000000ULL +
                                                     static_cast<unsigned long long>(info.st_mtim.tv_nsec),
                static_cast<unsigned long long>(info.st_size));
  return text;
}

std::string HttpDate(time_t at) {
  std::tm t{};
  gmtime_r(&at, &t);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &t);
  return text;
}

std::optional<time_t> ParseHttpDate(const std::string& text) {
  std::tm t{};
  const char* end = strptime(text.c_str(), "%a, %d %b %Y %H:%M:%S GMT", &t);
  if (!end || *end != '\0') return std::nullopt;
  return timegm(&t);
}

bool IsText(const std::string& type) {
  return type.starts_with("text/") || type == "application/json" || type == "application/xml" ||
         type == "image/svg+xml";
}

// Whether a list of entity tags ("a", W/"b", or *) names `etag`.
bool NamesTag(const std::string& list, const std::string& etag) {
  if (list.find('*') != std::string::npos) return true;
  return list.find(etag) != std::string::npos;
}

// The compressed files, one version per path.
class CompressedFiles {
 public:
  std::optional<std::string> Get(const std::string& path, const std::string& version) {
    {
      std::lock_guard<std::mutex> guard(lock_);
      const auto found = files_.find(path);
      if (found != files_.end() && found->second.first == version) return found->second.second;
    }
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) return std::nullopt;
    auto compressed = Gzip(text.str(), 9);
    if (!compressed) return std::nullopt;
    std::lock_guard<std::mutex> guard(lock_);
    files_[path] = {version, *compressed};
    return compressed;
  }

 private:
  std::mutex lock_;
  std::map<std::string, std::pair<std::string, std::string>> files_;
};

CompressedFiles& Compressed() {
  static CompressedFiles files;
  return files;
}
}  // namespace

void ServeStaticFile(const HttpRequest& request, const std::string& path, const std::string& document,
                     HttpResponse& response) {
  struct stat info{};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
    response.ResponseNo = 404;
    return;
  }
  response.ContentType = ContentTypeOfFile(document);
  const std::string version = Version(info);
  const bool compressible = IsText(response.ContentType) && static_cast<std::size_t>(info.st_size) <= kLargestCompressed;
  const bool gzip = compressible && AcceptsGzip(request.AcceptEncoding);
  // The compressed form is another representation, with a tag of its own.
  const std::string etag = "\"" + version + (gzip ? "-gz" : "") + "\"";
  const bool versioned = FirstParam(request.Params, "v") == version;
  response.Headers = {{"ETag", etag},
                      {"Last-Modified", HttpDate(info.st_mtim.tv_sec)},
                      {"Cache-Control", versioned ? kVersionedCaching : kRevalidate}};
  if (compressible) response.Headers.emplace_back("Vary", "Accept-Encoding");

  const auto since = ParseHttpDate(request.IfModifiedSince);
  const bool fresh = !request.IfNoneMatch.empty() ? NamesTag(request.IfNoneMatch, etag)
                                                   : since && info.st_mtim.tv_sec <= *since;
  if (fresh) {
    response.ResponseNo = 304;
    return;
  }
  if (gzip) {
    if (auto body = Compressed().Get(path, version)) {
      response.ContentText = std::move(*body);
      response.Headers.emplace_back("Content-Encoding", "gzip");
      return;
    }
  }
  response.SmartServeFile(path);
}

std::string AssetUrl(const std::string& document) {
  struct stat info{};
  if (stat((ServerSettings.ProgramFolder + document).c_str(), &info) != 0) return document;
  return document + "?v=" + Version(info);
}

}  // namespace tarvelin
