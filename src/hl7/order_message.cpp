#include "hl7/order_message.h"

#include "service/text.h"

namespace tarvelin {

namespace {

std::vector<std::string> SplitSegments(const std::string& message) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < message.size()) {
    auto end = message.find_first_of("\r\n", start);
    if (end == std::string::npos) end = message.size();
    lines.push_back(message.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

}  // namespace

std::string SegmentField(const std::string& segment, int n) { return Piece(segment, "|", n + 1); }

OrderMessage SplitOrderMessage(const std::string& message) {
  OrderMessage parsed;
  // A ZDS belongs to the order being read (RIS systems send it after the
  // OBR); one before the first ORC waits for that order.
  std::string waitingZds;
  for (const std::string& seg : SplitSegments(message)) {
    const std::string name = Piece(seg, "|", 1);
    OrderSegments* current = parsed.orders.empty() ? nullptr : &parsed.orders.back();
    if (name == "PID") {
      parsed.pid = seg;
    } else if (name == "PV1") {
      parsed.pv1 = seg;
    } else if (name == "ORC") {
      parsed.orders.push_back({seg, "", waitingZds});
      waitingZds.clear();
    } else if (name == "OBR") {
      if (current && current->obr.empty() && !current->orc.empty()) current->obr = seg;
      else parsed.orders.push_back({"", seg, ""});
    } else if (name == "ZDS") {
      if (current) current->zds = seg;
      else waitingZds = seg;
    }
  }
  return parsed;
}

}  // namespace tarvelin
