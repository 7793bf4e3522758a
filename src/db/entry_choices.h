#pragma once
// The two lookup tables that feed the worklist entry form's selectors:
// Referrers (the referring physicians offered) and StudyDescription (the
// procedure descriptions offered per modality). The service only reads them.
#include <string>
#include <vector>

namespace tarvelin {

class SQLdb;

// The referrers' names in name order. False (with db.ErrorText) when the
// query failed; `names` is then empty.
bool ReadReferrerNames(SQLdb& db, std::vector<std::string>& names);

// The descriptions stored for `modality`, in the table's stored order. False
// (with db.ErrorText) when the query failed; `descriptions` is then empty.
bool ReadStudyDescriptions(SQLdb& db, const std::string& modality, std::vector<std::string>& descriptions);

}  // namespace tarvelin
