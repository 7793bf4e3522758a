#pragma once
// One HL7 message as received (over MLLP or from a file), read in the
// character set and with the delimiters it declares. The set is MSH-18's
// first value, else a UTF-8 byte order mark, else the HL7CharSet setting;
// anything the set does not define, an MSH-18 we do not convert, or an
// escape we do not understand makes the message unreadable: it is answered
// with a refusal and nothing of it is stored.
#include <optional>
#include <string>

#include "hl7/order_refusal.h"

namespace tarvelin {

struct ReceivedMessage {
  // UTF-8 with the standard delimiters (see ToStandardDelimiters). For an
  // unreadable message, the received bytes with each non-ASCII byte as "?",
  // enough to address its acknowledgement.
  std::string text;
  // The message as the log shows it: in UTF-8, or as received when unreadable.
  std::string logged;
  // MSH-18 as sent, when it names a set we convert ("" otherwise): the
  // acknowledgement carries it back.
  std::string charsetTerm;
  // The iconv name of the set the message was read in; its acknowledgement
  // is written in it.
  std::string iconvName;
  // Why the message cannot be read (segment, field, HL7 table 0357 code, reason).
  std::optional<OrderRefusal> problem;
  // A remark for the log on a message that was read (UTF-8 bytes in a
  // message that declares no set); "" when none.
  std::string note;
};

ReceivedMessage ReadReceivedMessage(const std::string& bytes);

// The acknowledgement text `ack` (UTF-8) in the set of `message`; a character
// that set lacks becomes "?".
std::string EncodeForSender(const std::string& ack, const ReceivedMessage& message);

}  // namespace tarvelin
