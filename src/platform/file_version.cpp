#include "platform/file_version.h"

#include <cctype>
#include <fstream>
#include <vector>

namespace tarvelin {

#define TARVELIN_STAMP_MARKER "TRV-FILE-VERSION="

namespace {
constexpr char kMarker[] = TARVELIN_STAMP_MARKER;
constexpr std::size_t kMarkerSize = sizeof kMarker - 1;
// Four numbers of up to five digits, three points and the closing NUL.
constexpr std::size_t kLongestStamp = kMarkerSize + 4 * 5 + 3 + 1;
}  // namespace

// Kept in the binary even though nothing reads it at run time.
extern "C" [[gnu::used]] const char tarvelin_file_version_stamp[] = TARVELIN_STAMP_MARKER TARVELIN_VERSION;

namespace {
// The version text after a marker at `at`, or "" when what follows is not
// "n.n.n.n" closed by a NUL (the search constant itself, for one).
std::string ParseStamp(const std::string& buffer, std::size_t at) {
  std::size_t i = at + kMarkerSize;
  std::string version;
  for (int n = 1; n <= 4; ++n) {
    std::size_t start = i;
    while (i < buffer.size() && i - start <= 5 && std::isdigit(static_cast<unsigned char>(buffer[i]))) ++i;
    std::size_t digits = i - start;
    if (digits == 0 || digits > 5) return "";
    unsigned long value = std::stoul(buffer.substr(start, digits));
    char closing = n < 4 ? '.' : '\0';
    if (value > 65535 || i >= buffer.size() || buffer[i] != closing) return "";
    ++i;
    if (n == 4) break;  // the build number is checked, not shown
    if (n > 1) version += '.';
    version += std::to_string(value);
  }
  return version;
}
}  // namespace

std::string FileVersionText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::string window;
  std::vector<char> chunk(1 << 16);
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    window.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    for (std::size_t at = window.find(kMarker, 0, kMarkerSize); at != std::string::npos;
         at = window.find(kMarker, at + 1, kMarkerSize)) {
      if (window.size() - at < kLongestStamp && in) break;  // may continue in the next chunk
      std::string version = ParseStamp(window, at);
      if (!version.empty()) return version;
    }
    // Keep a tail long enough to hold a stamp cut at the chunk boundary.
    if (window.size() > kLongestStamp) window.erase(0, window.size() - kLongestStamp);
  }
  return "";
}

}  // namespace tarvelin
