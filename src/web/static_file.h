#pragma once
// Files of the instance folder as the web serves them: with validators
// (ETag, Last-Modified) so a browser revalidates with a 304 instead of
// downloading again, gzip for text when the browser accepts it, and a year's
// caching for an address that names the file's version ("?v=", see
// AssetUrl), which changes whenever the file does.
#include <string>

#include "web/http_server.h"

namespace tarvelin {

// Answers `request` with the file at `path` (its type by `document`'s
// extension): 200 with the file, or 304 when the request's If-None-Match
// (else If-Modified-Since) shows the browser holds this version. A file that
// cannot be read answers 404. Any thread may call; compressed texts are kept
// in memory, keyed by path and version.
void ServeStaticFile(const HttpRequest& request, const std::string& path, const std::string& document,
                     HttpResponse& response);

// "javascript/style.css" -> "javascript/style.css?v=<version>", the version
// made of the file's modification time and size in the instance folder (the
// bare document when the file is missing).
std::string AssetUrl(const std::string& document);

}  // namespace tarvelin
