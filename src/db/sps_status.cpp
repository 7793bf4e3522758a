#include "db/sps_status.h"

#include <array>
#include <utility>

namespace tarvelin {

namespace {
constexpr std::array<std::pair<const char*, int>, 4> kRanks{{
    {kScheduled, 0},
    {kInProgress, 1},
    {kCompleted, 2},
    {kDiscontinued, 2},
}};
}  // namespace

int StatusRank(const std::string& status) {
  for (const auto& [word, rank] : kRanks)
    if (status == word) return rank;
  return -1;
}

bool IsDefinedStatus(const std::string& status) { return StatusRank(status) >= 0; }

bool MovesForward(const std::string& from, const std::string& to) {
  return IsDefinedStatus(to) && StatusRank(from) < StatusRank(to);
}

std::string StatusRankSql(const std::string& column) {
  std::string sql = "(CASE " + column;
  for (const auto& [word, rank] : kRanks) sql += std::string(" WHEN '") + word + "' THEN " + std::to_string(rank);
  return sql + " ELSE -1 END)";
}

}  // namespace tarvelin
