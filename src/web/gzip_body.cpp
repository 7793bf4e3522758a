#include "web/gzip_body.h"

#include <zlib.h>

namespace tarvelin {

bool AcceptsGzip(const std::string& acceptEncoding) {
  const auto at = acceptEncoding.find("gzip");
  if (at == std::string::npos) return false;
  std::string rest = acceptEncoding.substr(at + 4, acceptEncoding.find(',', at) - at - 4);
  std::erase(rest, ' ');
  return rest != ";q=0" && rest != ";q=0.0" && rest != ";q=0.00" && rest != ";q=0.000";
}

std::optional<std::string> Gzip(const std::string& data, int level) {
  z_stream stream{};
  // 15 + 16: a gzip header and trailer around the deflate data.
  if (deflateInit2(&stream, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::nullopt;
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (rc != Z_STREAM_END) return std::nullopt;
  return out;
}

}  // namespace tarvelin
