#include "worklist/station_filter.h"

#include <fstream>
#include <iterator>

#include "service/settings.h"
#include "service/text.h"

namespace tarvelin {

std::string FilterLookup(const std::string& callingAETitle) {
  std::ifstream file(ServerSettings.ProgramFolder + "wlfilter.txt", std::ios::binary);
  if (!file) return "";
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  // Lines end at CR, LF or CR LF; the empty "lines" between CR and LF match
  // nothing unless the AE title itself is empty, which never reaches here.
  std::string::size_type start = 0;
  while (start <= text.size()) {
    auto end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (!line.empty() && Piece(line, "|", 1) == callingAETitle) return line;
    if (end < text.size() && text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ++end;
    start = end + 1;
  }
  return "";
}

}  // namespace tarvelin
