#include "db/entry_choices.h"

#include "db/sqldb.h"
#include "service/text.h"

namespace tarvelin {

namespace {
// The first column of every row the statement returns.
bool ReadFirstColumn(SQLdb& db, const SqlStatement& select, std::vector<std::string>& values) {
  values.clear();
  std::vector<std::string> rows;
  if (db.Query(select, rows) != 0) return false;
  for (const auto& row : rows) values.push_back(Piece(row, ";", 1));
  return true;
}
}  // namespace

bool ReadReferrerNames(SQLdb& db, std::vector<std::string>& names) {
  return ReadFirstColumn(db, {"SELECT Name FROM Referrers ORDER BY Name", {}}, names);
}

bool ReadStudyDescriptions(SQLdb& db, const std::string& modality, std::vector<std::string>& descriptions) {
  return ReadFirstColumn(db, {"SELECT Description FROM StudyDescription WHERE Modality=?", {modality}}, descriptions);
}

}  // namespace tarvelin
