#pragma once
// Text is UTF-8 inside. Windows-1252 is what older callers and files send
// when they send 8-bit text (a superset of ISO 8859-1 as browsers read it),
// and what passwords were hashed in before; these conversions serve the
// edges that meet it.
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

// The bytes of the first `count` characters of `text` (UTF-8; a byte that
// starts no sequence counts as one), so a value cut there never ends inside
// a character.
std::size_t Utf8PrefixBytes(std::string_view text, std::size_t count);

// UTF-16LE bytes (without BOM) to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16LeToUtf8(const std::string& bytes);

// Text that arrives from outside without a declared set (an ini file, a
// browser's credentials, a command line, a form without charset): kept when
// it is well-formed UTF-8, else read as Windows-1252.
std::string ToUtf8(const std::string& text);

// Appends the code point `cp` to `out` as UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace tarvelin
