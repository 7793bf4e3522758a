#pragma once
// HL7 acknowledgements (ACK^O01) for the results of the order parser.
#include <atomic>
#include <string>

#include "hl7/order_answer.h"

namespace tarvelin {

// MSH-3 to MSH-6 of the acknowledgement of `received`: this server's
// application and facility (settings HL7Application, HL7Facility), then the
// sender's, MSH-3 and MSH-4 of the received message, so that the answer is
// addressed back to whoever sent it.
std::string AckNames(const std::string& received);

// Numbers the acknowledgements: 0, 1, ... 999, then 0 again, process-wide.
extern std::atomic<int> AckControlCounter;

// The acknowledgement control ID for the next message: the current time as
// yymmddhhnn followed by the counter in decimal; with a node number (servers
// sharing one database), the time, the node number and the counter in three
// digits, at most 20 characters. Advances the counter as one indivisible
// step, so concurrent connections never share a number.
std::string NextAckControlId();

// The current time as yyyymmddhhnnss, the form of MSH-7.
std::string HL7Timestamp();

// The acknowledgement text (segments ended by CR) for the answer to the
// message `received`: MSH, MSA (code, its control ID in MSA-2, the answer's
// text in MSA-3) and one ERR per refused order, naming the segment, its
// sequence, the field and the HL7 table 0357 code with the reason;
// `timestamp` goes to MSH-7 and `charsetTerm`, when given, to MSH-18.
std::string BuildAck(const OrderAnswer& answer, const std::string& received, const std::string& ackControlId,
                     const std::string& timestamp, const std::string& charsetTerm = "");

// The minimal lower layer envelope: 0x0B + text + 0x1C 0x0D.
std::string FrameMllp(const std::string& text);

// MSH-10 of a received message: the tenth "|"-separated field of the text.
std::string ReceivedControlId(const std::string& message);

}  // namespace tarvelin
