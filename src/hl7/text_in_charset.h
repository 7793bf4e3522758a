#pragma once
// Order text between the character set it was written in and UTF-8, the
// form the HL7 layer works in. Sets are iconv names of charset_names.h (all
// keep ASCII as it is).
#include <cstddef>
#include <string>
#include <string_view>

namespace tarvelin {

// `bytes` written in `iconvName`, as UTF-8. False, with `utf8` empty, when
// they are not valid text of that set: UTF-8 is checked too, never passed
// on unread.
bool ReadAsUtf8(std::string_view bytes, const std::string& iconvName, std::string& utf8);

// `utf8` written in `iconvName`; each character the set lacks, and each byte
// of an ill-formed UTF-8 sequence, becomes "?". Returns how many did.
std::size_t WriteFromUtf8(std::string_view utf8, const std::string& iconvName, std::string& out);

}  // namespace tarvelin
