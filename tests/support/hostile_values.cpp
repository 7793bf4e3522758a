#include "support/hostile_values.h"

namespace tarvelin {

namespace {
std::string AllBytes() {
  std::string bytes;
  for (int c = 1; c < 256; ++c) bytes += static_cast<char>(c);
  return bytes;
}
}  // namespace

const std::vector<std::string>& HostileSqlValues() {
  static const std::vector<std::string> values = {
      "O'BRIEN", "'; DROP TABLE Worklist; --", "x'); DELETE FROM Users; --", "a;b;c", "''", "' OR '1'='1",
      "100% _sure_ \\ \"quoted\"", "?'; SELECT ?", AllBytes(),
  };
  return values;
}

const std::vector<std::string>& HostileMarkupValues() {
  static const std::vector<std::string> values = {
      "<script>alert(1)</script>", "\"><b>bold</b>", "' onmouseover='alert(1)", "A&amp;B <&> \"q\" 'a'",
      "M\xDCLLER^J\xD6RG",
  };
  return values;
}

}  // namespace tarvelin
