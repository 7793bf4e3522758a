#pragma once
// The system's 8-bit code page is Windows-1252. Protocol, database and page
// text stay 8-bit; these conversions are for the edges that meet UTF-8 (the
// ini file, the HTTP layer, form decoding).
#include <cstddef>
#include <string>
#include <string_view>

namespace tarvelin {

// Every byte as its Windows-1252 character in UTF-8. The five bytes 1252
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to U+0081 etc., so the
// conversion is lossless and reversible.
std::string Cp1252ToUtf8(const std::string& text);

// UTF-8 to Windows-1252. A character 1252 cannot hold and every byte of an
// invalid UTF-8 sequence become "?".
std::string Utf8ToCp1252(const std::string& text);

// The Windows-1252 byte of one Unicode character, or "?" when 1252 has none.
char Cp1252Byte(char32_t codePoint);

// True when `text` is well-formed UTF-8 (no overlongs, surrogates or code
// points above U+10FFFF).
bool IsValidUtf8(std::string_view text);

// The length of the UTF-8 sequence that starts `text`, or 0 when it starts
// with no well-formed one (or is empty).
std::size_t Utf8SequenceLength(std::string_view text);

// UTF-16LE bytes (without BOM) to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16LeToUtf8(const std::string& bytes);

// Text that arrives from outside (an ini file, a browser, a command line) in
// 8-bit form: well-formed UTF-8 is converted, anything else is taken to be
// Windows-1252 already and kept byte for byte.
std::string ToCp1252(const std::string& text);

// Appends the code point `cp` to `out` as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace tarvelin
