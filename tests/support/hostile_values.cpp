#include "support/hostile_values.h"

#include "support/test_backend.h"

namespace tarvelin {

namespace {
// Every byte but NUL. PostgreSQL's text holds valid UTF-8 only (as all the
// stores are given): there every byte up to 127 and U+0080-U+00FF in UTF-8.
std::string AllBytes() {
  std::string bytes;
  for (int c = 1; c < 256; ++c) {
    if (c >= 128 && TestsOnPostgres()) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(c);
    }
  }
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
