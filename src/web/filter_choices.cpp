#include "web/filter_choices.h"

#include <chrono>
#include <mutex>

#include "db/sqldb.h"
#include "db/worklist_listing.h"
#include "service/log.h"

namespace tarvelin {

namespace {
constexpr auto kKeptFor = std::chrono::seconds(30);

std::mutex lock;
FilterChoices kept;
std::chrono::steady_clock::time_point readAt;
bool haveRead = false;
}  // namespace

FilterChoices CurrentFilterChoices(SQLdb& db) {
  const auto now = std::chrono::steady_clock::now();
  {
    std::lock_guard<std::mutex> guard(lock);
    if (haveRead && now - readAt < kKeptFor) return kept;
  }
  FilterChoices fresh;
  if (!db.IsOpen || !StoredModalities(db, fresh.Modalities) || !StoredStations(db, fresh.Stations)) {
    WriteLog("ERROR, Worklist filters, " + db.ErrorText);
    std::lock_guard<std::mutex> guard(lock);
    return kept;
  }
  std::lock_guard<std::mutex> guard(lock);
  kept = fresh;
  readAt = now;
  haveRead = true;
  return kept;
}

}  // namespace tarvelin
