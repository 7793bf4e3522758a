#include "housekeeping/study_in_pacs.h"

#include <vector>

#include "dimse/find_scu.h"
#include "service/log.h"
#include "service/settings.h"

namespace tarvelin {

namespace {
constexpr int kTimeoutSeconds = 60;
}

bool StudyInPacs(const std::string& pacsAET, const std::string& host, const std::string& port,
                 const std::string& ownAET, const std::string& accession, const TlsContext* tls) {
  // An empty key would match every study of the PACS.
  if (pacsAET.empty() || host.empty() || accession.empty()) return false;
  std::vector<StudyInfo> records(1);
  records.front().AccessionNumber = accession;
  if (!FindSCU(ownAET, pacsAET, host, port, records, kTimeoutSeconds, "", "", 0, tls, ServerSettings.PACS_CharSet)) {
    WriteLog("ERROR, connecting to PACS: " + pacsAET + ", IP:" + host + ", Port:" + port);
    return false;
  }
  // "*" and "?" in an accession number are wildcards to the PACS: only a
  // study with this very number counts.
  for (const StudyInfo& study : records)
    if (study.AccessionNumber == accession) return true;
  return false;
}

}  // namespace tarvelin
