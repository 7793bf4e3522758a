#pragma once
// The segments of an ORM^O01 message sorted into what the message shares
// (the patient: PID, PV1) and what each order owns (its ORC, OBR and ZDS), so
// nothing of one order can leak into the next.
#include <string>
#include <vector>

namespace tarvelin {

struct OrderSegments {
  std::string orc;  // "" when an OBR came without its ORC
  std::string obr;  // "" when an ORC came without an OBR
  std::string zds;  // the order's ZDS: after its ORC, or before the first ORC
};

struct OrderMessage {
  std::string pid;  // the last PID ("" none)
  std::string pv1;  // the last PV1 ("" none)
  std::vector<OrderSegments> orders;
};

// Segments end at CR, LF or CR LF; fields are "|"-separated whatever MSH says.
OrderMessage SplitOrderMessage(const std::string& message);

// Field n of a segment: the n-th "|"-piece after the segment name.
std::string SegmentField(const std::string& segment, int n);

}  // namespace tarvelin
