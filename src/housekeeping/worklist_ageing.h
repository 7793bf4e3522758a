#pragma once
// The ageing pass over the SCHEDULED worklist entries: entries whose date
// has passed are discontinued and, when configured, entries whose study the
// PACS already holds are completed. Every decision uses the process clock.
#include <functional>
#include <string>

#include "platform/clock.h"

namespace tarvelin {

class WorklistDB;

enum class AgeingRule {
  None,
  OldDate,  // dated before yesterday: DISCONTINUED
  OldTime,  // DeleteOld, dated yesterday and more than 2 hours past its time of day: DISCONTINUED
  InPacs,   // DeletePACS and the PACS holds the study: COMPLETED
};

// The date rules for one SCHEDULED entry at `now` (OldDate before OldTime;
// InPacs is never returned here). A SPSTime whose hours or minutes are not a
// number counts them as 0.
AgeingRule DateRule(const WorklistDB& entry, Clock::time_point now, bool deleteOld);

// One ageing pass. The SCHEDULED entries are read and those caught by the
// date rules discontinued in one transaction; then, with `deletePACS`, each
// remaining entry costs one association with the PACS, and `stopRequested`
// (when given) is asked before each. Logs one line per changed entry (or its
// failure) once the change is committed. False when the database could not be
// opened or queried (nothing changed then).
bool UpdateWorklistStatus(const std::string& pacsAET, const std::string& pacsHost, const std::string& pacsPort,
                          const std::string& ownAET, bool deletePACS, bool deleteOld,
                          const std::function<bool()>& stopRequested = nullptr);

}  // namespace tarvelin
