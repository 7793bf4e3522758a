#pragma once
// The text helpers every layer uses. Text is a byte string (UTF-8 inside,
// protocol text as it travels); nothing here converts encodings.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tarvelin {

// Field n (from 1) of `text` cut at `delim` (which may be longer than one
// character). The last field runs to the end; n out of range gives "";
// an empty delimiter gives the whole text for n = 1 and "" otherwise.
std::string Piece(const std::string& text, const std::string& delim, int n);

// The runs of `text` between any of the `separators` characters; empty runs
// are skipped. The views point into `text`.
std::vector<std::string_view> Words(std::string_view text, std::string_view separators);

// Remove every character with code 32 or below from the ends.
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);

// Decimal integer of `s`, or `fallback` when `s` is not entirely a number
// (an optional sign then digits, nothing else, no overflow).
long long ToIntDef(const std::string& s, long long fallback);

// `value` as 8 upper-case hexadecimal digits (status codes and platform
// error codes in log lines; -1 shows as FFFFFFFF).
std::string Hex8(std::uint32_t value);
// Every occurrence of `find` (exact) replaced by `replacement`, scanning left
// to right; inserted text is never searched again. An empty `find` changes nothing.
std::string ReplaceAll(const std::string& text, const std::string& find, const std::string& replacement);

// The bytes written as hexadecimal digit pairs (SQLite's hex()); a trailing
// odd digit or a pair that is not hexadecimal is dropped.
std::string FromHex(const std::string& hex);

}  // namespace tarvelin
