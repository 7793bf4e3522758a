#include <sys/random.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>

#include "dicom/uid.h"
#include "platform/clock.h"
#include "service/settings.h"
#include "service/text.h"

namespace {

std::string LastChars(const std::string& text, std::size_t count) {
  return text.size() <= count ? text : text.substr(text.size() - count);
}

// Turns the generated parts into UID characters: anything but a digit or "."
// becomes the digit (byte value mod 9), and no component starts with 0.
std::string CleanGeneratedPart(const std::string& part, char previous) {
  std::string cleaned;
  cleaned.reserve(part.size());
  for (char c : part) {
    if (c != '.' && (c < '0' || c > '9'))
      c = char('0' + static_cast<unsigned char>(c) % 9);
    if (c == '0' && previous == '.') c = '1';
    cleaned += c;
    previous = c;
  }
  return cleaned;
}

}  // namespace

std::string UIDRoot() {
  return ServerSettings.UIDRoot.empty() ? DefaultUIDRoot : ServerSettings.UIDRoot;
}

std::string ImplementationClassUID() { return UIDRoot() + ".999"; }

std::string CreateUID(const std::string& site, const std::string& keyA, const std::string& keyB,
                      const std::string& date, const std::string& time,
                      const std::string& prefix) {
  if (keyA.empty()) return "";
  const std::string sitePart = Trim(site.size() < 9 ? site : LastChars(site, 8));
  const std::string keyBPart = keyB.size() < 5 ? keyB : Trim(LastChars(keyB, 4));
  const std::string keyAPart = Trim(LastChars(keyA, 4));
  const std::string datePart = date.size() > 2 ? date.substr(2, 8) : "";
  const std::string timePart = Trim(time.substr(0, 4));
  const std::string root = UIDRoot();
  // Without a date and time the last component is left out: a UID may not end in ".".
  const std::string when = datePart + timePart;
  const std::string generated =
      "." + prefix + sitePart + "." + keyBPart + keyAPart + (when.empty() ? "" : "." + when);
  return root + CleanGeneratedPart(generated, root.empty() ? '.' : root.back());
}

std::string UniqueUID(const std::string& prefix) {
  // Strictly increasing within the process, even when the clock is pinned or
  // steps back: two calls never share the count.
  static std::atomic<std::uint64_t> last{0};
  const auto now = std::chrono::duration_cast<std::chrono::microseconds>(Now().time_since_epoch()).count();
  std::uint64_t count = last.load();
  std::uint64_t next;
  do {
    next = std::max<std::uint64_t>(static_cast<std::uint64_t>(now), count + 1);
  } while (!last.compare_exchange_weak(count, next));
  // Another process (a restart within the same microsecond, a second
  // server) differs here.
  static const std::string processPart = [] {
    std::uint64_t random = 0;
    if (getrandom(&random, sizeof random, 0) != sizeof random) random = std::random_device{}();
    return std::to_string(random == 0 ? 1 : random);
  }();
  const std::string head = UIDRoot() + "." + prefix + "." + std::to_string(next);
  if (head.size() + 2 > 64) return head.substr(0, 64);
  return head + "." + processPart.substr(0, 64 - head.size() - 1);
}

std::string NewStudyUID() { return UniqueUID("1"); }
