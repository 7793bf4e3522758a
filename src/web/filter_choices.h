#pragma once
// The modality codes and stations stored in the worklist, offered by the
// list's filters. Finding them reads the whole table, so they are kept for
// half a minute: a new code shows in the filter at most that much later.
// Any thread may call.
#include <string>
#include <vector>

namespace tarvelin {

class SQLdb;

struct FilterChoices {
  std::vector<std::string> Modalities, Stations;
};

// The choices, read through `db` when the kept ones are older than 30 s.
// A failed read is logged and answers what was kept (empty at first).
FilterChoices CurrentFilterChoices(SQLdb& db);

}  // namespace tarvelin
