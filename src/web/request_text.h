#pragma once
// Text a request brings (query text, form fields, a raw body), read in the
// character set its Content-Type declares and handed on as UTF-8, the one
// encoding inside.
#include <optional>
#include <string>

namespace tarvelin {

// `bytes` as UTF-8. No declared set: kept when well-formed UTF-8 (what our
// pages post), else read as Windows-1252 (what older callers send). "UTF-8"
// must be well-formed; the ISO 8859-1 and US-ASCII labels are read as
// Windows-1252, as browsers read them; any other set iconv knows is
// converted. Empty when the bytes are not valid in the declared set or the
// set is unknown: such text is refused, never stored mangled.
std::optional<std::string> RequestTextToUtf8(const std::string& bytes, const std::string& charSet);

}  // namespace tarvelin
