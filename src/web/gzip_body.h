#pragma once
// gzip for answers (zlib), and whether a request accepts it.
#include <optional>
#include <string>

namespace tarvelin {

// True when an Accept-Encoding header names gzip without refusing it (q=0).
bool AcceptsGzip(const std::string& acceptEncoding);

// `data` as one gzip member; nullopt when zlib failed.
std::optional<std::string> Gzip(const std::string& data, int level);

}  // namespace tarvelin
