#pragma once
// HL7 v2 delimiters and escape sequences. A message is read with the
// delimiters its MSH-1 and MSH-2 declare and rewritten with the standard ones
// (| ^ ~ \ &), so the parser splits on fixed characters whatever the sender
// chose; inside values only the five delimiter escapes (\F\ \S\ \T\ \R\ \E\)
// remain, and UnescapeHl7 turns them into their characters when a value is
// taken.
#include <cstddef>
#include <string>
#include <string_view>

#include "hl7/order_refusal.h"

namespace tarvelin {

struct Hl7Delimiters {
  char field = '|';
  char component = '^';
  char repetition = '~';
  char escape = '\\';
  char subcomponent = '&';
  std::size_t headerEnd = 0;  // where MSH-2 ends in the message; 0 when it has no MSH
};

// The delimiters of a message that begins with its MSH segment; the standard
// ones for any other text. False when MSH-1 and MSH-2 declare characters a
// message cannot be cut with (letters, digits, blanks, controls, non-ASCII,
// one character twice); `out` then holds the standard ones.
bool ReadDelimiters(std::string_view message, Hl7Delimiters& out);

// The message (UTF-8) with the standard delimiters, its MSH-2 reading
// "^~\&". Escape sequences, with the declared escape character:
//   \F\ \S\ \T\ \R\ \E\   stay, written with "\", for UnescapeHl7;
//   \Xhh...\              hexadecimal bytes in the message's set `iconvName`,
//                         read into UTF-8 (a control character becomes a blank);
//   \H\ \N\               highlighting: removed;
//   \.br\ \.sp\           a blank; other formatting commands (\.in\ ...) removed;
//   \C..\ \M..\ \Z..\     character set switches and local escapes: not
//                         understood, a problem.
// An escape character that starts none of these is a character of the text,
// as is a standard delimiter the message does not declare. The first problem
// (a malformed \X..\, bytes not valid in the set, a switch) is described in
// `problem` (its segment and field, code 102) and its sequence kept as
// written; with `iconvName` empty, \X..\ is kept as written and no problem
// noted.
std::string ToStandardDelimiters(std::string_view message, const Hl7Delimiters& delimiters,
                                 const std::string& iconvName, OrderRefusal* problem);

// A value of a message in standard form with \F\ \S\ \T\ \R\ \E\ decoded.
std::string UnescapeHl7(std::string_view value);

}  // namespace tarvelin
