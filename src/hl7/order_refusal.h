#pragma once
// Why one order of a message was not stored: what the acknowledgement's ERR
// segment tells the sender.
#include <string>

namespace tarvelin {

struct OrderRefusal {
  int order = 0;          // 1 for the message's first ORC/OBR group
  std::string accession;  // as the order gave it ("" when it had none)
  std::string segment;    // the segment at fault: "ORC", "OBR", "PID", "ZDS"
  int field = 0;          // its field number (0: the segment as a whole)
  int code = 207;         // HL7 table 0357: 101 missing, 102 bad data, 103 unknown code,
                          // 204 unknown key, 205 duplicate key, 207 application error
  std::string reason;     // one line of plain text
};

}  // namespace tarvelin
