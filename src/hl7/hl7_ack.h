#pragma once
// HL7 acknowledgements (ACK^O01) for the results of the order parser.
#include <atomic>
#include <string>

// MSH-3 to MSH-6 of every acknowledgement.
extern const std::string AckNames;

// Numbers the acknowledgements: 0, 1, ... 999, then 0 again, process-wide.
extern std::atomic<int> AckControlCounter;

// The acknowledgement control ID for the next message: the current time as
// yymmddhhnn followed by the counter in decimal; advances the counter as one
// indivisible step, so concurrent connections never share a number.
std::string NextAckControlId();

// The current time as yyyymmddhhnnss, the form of MSH-7.
std::string HL7Timestamp();

// The acknowledgement text (segments ended by CR) for a parser result,
// quoting the received control ID in MSA-2; `timestamp` goes to MSH-7.
std::string BuildAck(int result, const std::string& receivedControlId, const std::string& ackControlId,
                     const std::string& timestamp);

// The minimal lower layer envelope: 0x0B + text + 0x1C 0x0D.
std::string FrameMllp(const std::string& text);

// MSH-10 of a received message: the tenth "|"-separated field of the text.
std::string ReceivedControlId(const std::string& message);
