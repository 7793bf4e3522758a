#pragma once
// The life of a scheduled procedure step: SCHEDULED, then IN PROGRESS, then
// COMPLETED or DISCONTINUED. A step only moves forward along this line; a
// modality that started or finished an exam must never see it offered again.
#include <string>

namespace tarvelin {

inline constexpr const char* kScheduled = "SCHEDULED";
inline constexpr const char* kInProgress = "IN PROGRESS";
inline constexpr const char* kCompleted = "COMPLETED";
inline constexpr const char* kDiscontinued = "DISCONTINUED";

// The place of a status word on the line: 0 SCHEDULED, 1 IN PROGRESS,
// 2 COMPLETED or DISCONTINUED (both final); -1 for any other text.
int StatusRank(const std::string& status);

// True for the four defined status words (exact text).
bool IsDefinedStatus(const std::string& status);

// True when moving from `from` to `to` goes forward. A stored text that is
// not a defined word (left by an older version) may move to any defined one.
bool MovesForward(const std::string& from, const std::string& to);

// The same rank as an SQL expression over `column`, so one statement can
// apply the rule to the row it touches.
std::string StatusRankSql(const std::string& column);

}  // namespace tarvelin
