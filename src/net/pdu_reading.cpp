#include "net/pdu_reading.h"

#include "service/log.h"

namespace tarvelin {

bool ItemFits(Buffer& in, std::size_t count, const std::string& where) {
  if (in.IncomingCount() >= count) return true;
  WriteLog("ERROR, " + where + ", length " + std::to_string(count) +
           " does not fit the " + std::to_string(in.IncomingCount()) + " bytes left of its PDU");
  return false;
}

void DebugFields(const std::string& header,
                 std::initializer_list<std::pair<const char*, std::string>> fields) {
  if (!DebugLogOn()) return;
  WriteLog(header);
  for (const auto& [name, value] : fields) WriteLog(std::string(name) + ": " + value);
}

std::string ReadText(Buffer& in, std::size_t count) {
  std::string text(count, '\0');
  if (count > 0) in.Read(text.data(), count);
  return text;
}

}  // namespace tarvelin
