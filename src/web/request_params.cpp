#include "web/request_params.h"

#include "service/text.h"
#include "web/request_text.h"
#include "web/url_decode.h"

namespace tarvelin {

bool SplitParams(ParamList& list, const std::string& text, const std::string& charset) {
  list.clear();
  for (int n = 1;; ++n) {
    const std::string piece = Piece(text, "&", n);
    if (piece.empty()) return true;
    auto entry = RequestTextToUtf8(charset.empty() ? UrlDecode(piece, false) : piece, charset);
    if (!entry) {
      list.clear();
      return false;
    }
    list.push_back(std::move(*entry));
  }
}

std::string ParamName(const std::string& entry) { return Piece(entry, "=", 1); }

std::string ParamValue(const std::string& entry) {
  // Everything after the first "=": a value such as "T1=fat" survives an
  // edit and save unchanged.
  const auto at = entry.find('=');
  return at == std::string::npos ? "" : entry.substr(at + 1);
}

std::string FirstParam(const ParamList& params, const std::string& name, const std::string& fallback) {
  for (const auto& entry : params)
    if (ParamName(entry) == name) return ParamValue(entry);
  return fallback;
}

std::vector<std::string> AllParams(const ParamList& params, const std::string& name) {
  std::vector<std::string> values;
  for (const auto& entry : params)
    if (ParamName(entry) == name && !Trim(ParamValue(entry)).empty()) values.push_back(Trim(ParamValue(entry)));
  return values;
}

}  // namespace tarvelin
