#pragma once
// Reads an ini file with the semantics of the Windows private-profile calls:
// section and key names are case-insensitive, the first matching section and
// the first matching key in it win, values are trimmed and lose one pair of
// surrounding quotes, lines starting with ";" are comments. The file is read
// as UTF-8 (as Windows-1252 when it is not valid UTF-8; UTF-16LE with a BOM
// is read too) and values come back as UTF-8.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tarvelin {

class IniFile {
 public:
  // Reads the whole file once; a missing or unreadable file reads as empty.
  explicit IniFile(const std::string& path);

  // The value (at most 2047 characters, longer ones are cut), or `fallback`
  // when the section or key is missing. A key present with nothing after "="
  // gives "".
  std::string ReadString(const std::string& section, const std::string& key, const std::string& fallback) const;

  // An integer written as text: longer than 2 characters and starting with
  // "0x" (any case) means hexadecimal, otherwise decimal; anything that is not
  // a 32-bit number gives `fallback`.
  std::int32_t ReadInteger(const std::string& section, const std::string& key, std::int32_t fallback) const;

  // An integer as above; any non-zero value is true.
  bool ReadBool(const std::string& section, const std::string& key, bool fallback) const;

  // Every key of the first section of that name with its value, in file
  // order, keys in lower case (the first of a repeated key is the one that
  // counts); empty when the section is missing.
  std::vector<std::pair<std::string, std::string>> ReadSection(const std::string& section) const;

 private:
  const std::string* Find(const std::string& section, const std::string& key) const;

  struct Entry {
    std::string key;    // lower case
    std::string value;  // trimmed, unquoted, UTF-8
  };
  struct Section {
    std::string name;  // lower case
    std::vector<Entry> entries;
  };
  std::vector<Section> sections_;  // in file order
};

// The integer rule of ReadInteger applied to a text.
std::int32_t IniIntegerDef(const std::string& text, std::int32_t fallback);

}  // namespace tarvelin
