#pragma once
// The parameter list of a request: "name=value" texts in arrival order.
#include <string>
#include <vector>

namespace tarvelin {

using ParamList = std::vector<std::string>;

// Fills `list` with the pieces of an "&"-separated text, as UTF-8. An empty
// piece (two "&" in a row, or none at all) ends the list. With a charset the
// pieces are text in that set as they stand; without one, %-escapes (also
// %uXXXX) are decoded and "+" kept, and the bytes read as request_text.h
// says. False (and `list` empty) when a piece is not valid in its set.
bool SplitParams(ParamList& list, const std::string& text, const std::string& charset);

// The name (before the first "=") and the value (all after it) of an entry.
std::string ParamName(const std::string& entry);
std::string ParamValue(const std::string& entry);

// The value of the first entry named `name`; `fallback` when there is none.
std::string FirstParam(const ParamList& params, const std::string& name, const std::string& fallback = "");

// The values of every entry named `name`, trimmed, empty ones left out, in order.
std::vector<std::string> AllParams(const ParamList& params, const std::string& name);

}  // namespace tarvelin
