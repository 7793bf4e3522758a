#pragma once
// How a text becomes the body of one log line. Whatever a peer sent (an HL7
// message, a URL, an SQL statement with its values) may reach the log, so
// the body is made safe here, once, for every line:
// - control characters are escaped ("\r", "\n", other bytes below 0x20 and
//   0x7F as "\xHH"), so no text can start a forged line of its own;
// - a body longer than `limit` bytes (after escaping) is cut there and ends
//   with " ...[N more bytes]", so one peer cannot fill the disk with one
//   message. A limit of 0 means no cut.
#include <cstddef>
#include <string>
#include <string_view>

namespace tarvelin {

// Appends the safe form of `text` to `line`.
void AppendLogText(std::string& line, std::string_view text, std::size_t limit);

}  // namespace tarvelin
