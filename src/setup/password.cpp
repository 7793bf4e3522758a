#include "setup/password.h"

#include <algorithm>
#include <random>
#include <string_view>

#include "service/settings.h"

namespace tarvelin {

std::string RandomPassword() {
  static constexpr std::string_view kAlphabet =
      "ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz23456789";  // no look-alikes
  std::random_device source;  // the kernel's random source
  std::uniform_int_distribution<std::size_t> pick(0, kAlphabet.size() - 1);
  std::string password;
  const int length = std::max(16, ServerSettings.MinPasswordLength);
  for (int i = 0; i < length; ++i) password += kAlphabet[pick(source)];
  return password;
}

}  // namespace tarvelin
