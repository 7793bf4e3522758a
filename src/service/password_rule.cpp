#include "service/password_rule.h"

#include "platform/codepage.h"
#include "service/settings.h"

namespace tarvelin {

namespace {
std::size_t Characters(const std::string& text) {
  if (!IsValidUtf8(text)) return text.size();
  std::size_t count = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++count;
  return count;
}
}  // namespace

std::string PasswordRefusal(const std::string& password) {
  const auto minimum = static_cast<std::size_t>(ServerSettings.MinPasswordLength);
  const std::size_t length = Characters(password);
  if (length >= minimum) return "";
  return "a password needs at least " + std::to_string(minimum) + " characters (this one has " +
         std::to_string(length) + ")";
}

}  // namespace tarvelin
