#include "platform/locale_country.h"

#include <cstdlib>
#include <string>

namespace tarvelin {

bool UsesMonthFirstDates() {
  for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    // language[_TERRITORY][.codeset][@modifier]
    const std::string locale = value;
    const auto underscore = locale.find('_');
    if (underscore == std::string::npos) return false;
    const std::string territory = locale.substr(underscore + 1, locale.find_first_of(".@", underscore) - underscore - 1);
    return territory == "US";
  }
  return false;
}

}  // namespace tarvelin
