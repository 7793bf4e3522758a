#include "worklist/query_charsets.h"

#include <algorithm>
#include <cctype>

#include "platform/charset_names.h"
#include "service/log.h"
#include "service/settings.h"
#include "service/text.h"

namespace tarvelin {

std::string StationCharsetTerm(const std::string& callingAETitle) {
  std::string key = callingAETitle;
  std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  for (const auto& [station, term] : ServerSettings.StationCharSets)
    if (station == key) return term;
  return ServerSettings.DefaultCharSet;
}

QueryCharsets ChooseQueryCharsets(const DcmObj& identifier, const std::string& callingAETitle) {
  const std::string requested = Trim(identifier.GetString(0x0008, 0x0005));
  QueryCharsets sets;
  if (const char* iconvName = requested.empty() ? nullptr : IconvNameOfDicomTerm(requested)) {
    sets.AnswerTerm = requested;
    sets.AnswerIconv = sets.RequestIconv = iconvName;
    return sets;
  }
  sets.AnswerTerm = StationCharsetTerm(callingAETitle);
  sets.AnswerIconv = sets.RequestIconv = IconvNameOfDicomTerm(sets.AnswerTerm);
  if (!requested.empty())
    WriteLog("WARNING, Worklist query character set " + requested + " not supported; answered in " + sets.AnswerTerm);
  return sets;
}

}  // namespace tarvelin
