#include "worklist/mpps.h"

#include <ctime>
#include <mutex>

#include "db/sqldb.h"
#include "db/sqlquote.h"
#include "dicom/uid.h"
#include "platform/clock.h"
#include "service/log.h"
#include "service/settings.h"

namespace {

void TakeKey(const DcmTag& element, ScheduledStepKeys& keys) {
  if (element.Is(0x0008, 0x0050)) keys.AccessionNumber = element.GetString();
  else if (element.Is(0x0020, 0x000D)) keys.StudyInstanceUID = element.GetString();
  else if (element.Is(0x0040, 0x0009)) keys.SPSID = element.GetString();
}

std::string FormatTime(const std::tm& t, const char* format) {
  char text[16];
  return std::string(text, std::strftime(text, sizeof text, format, &t));
}

}  // namespace

ScheduledStepKeys FindScheduledStepKeys(const DcmObj& dataset) {
  ScheduledStepKeys keys;
  for (const DcmEntry& sequence : dataset.Entries) {
    if (!sequence.IsObj() || !sequence.Obj->Header.Is(0x0040, 0x0270)) continue;
    for (const DcmEntry& item : sequence.Obj->Entries) {
      if (!item.IsObj() || !item.Obj->Header.Is(0xFFFE, 0xE000)) continue;
      for (const DcmEntry& element : item.Obj->Entries)
        if (element.IsTag()) TakeKey(*element.Tag, keys);
    }
  }
  return keys;
}

std::uint16_t CreateMPPS(const DcmObj& dataset, std::string& sopInstanceUID) {
  const ScheduledStepKeys keys = FindScheduledStepKeys(dataset);
  if (keys.StudyInstanceUID.empty() || keys.AccessionNumber.empty() || keys.SPSID.empty())
    return MppsNotApplied;
  if (sopInstanceUID.empty()) {
    const std::tm now = LocalTime(Now());
    sopInstanceUID = CreateUID("12345", keys.SPSID, keys.AccessionNumber,
                               FormatTime(now, "%Y%m%d"), FormatTime(now, "%H%M%S"), "11");
  }
  std::uint16_t status = MppsNotApplied;
  std::lock_guard<std::mutex> hold(ServerSettings.MppsLock);
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return status;
  const std::string sql = "UPDATE Worklist SET SPSStatus=" + SqlQuote(dataset.GetString(0x0040, 0x0252)) +
                          ", SOPInstanceUID=" + SqlQuote(sopInstanceUID) +
                          " WHERE StudyInstanceUID=" + SqlQuote(keys.StudyInstanceUID) +
                          " AND AccessionNumber=" + SqlQuote(keys.AccessionNumber) +
                          " AND SPSID=" + SqlQuote(keys.SPSID);
  // Any failed UPDATE (busy time-out and read-only file included) is reported
  // as a failure: the modality must not believe its step was recorded.
  if (db.Exec(sql) != 0) {
    WriteLog("ERROR, CreateMPPS Query, " + db.ErrorText);
    return MppsUpdateFailed;
  }
  return MppsSuccess;
}

std::uint16_t SetMPPS(const DcmObj& dataset, const std::string& sopInstanceUID) {
  // Every entry not yet started carries an empty UID: an N-SET naming none
  // must not reach them all.
  if (sopInstanceUID.empty()) {
    WriteLog("ERROR, SetMPPS, Requested SOP Instance UID is empty");
    return MppsNotApplied;
  }
  std::lock_guard<std::mutex> hold(ServerSettings.MppsLock);
  SQLdb db("quillat", SQLdb::ReadWrite);
  if (!db.IsOpen) return MppsNotApplied;
  // An N-SET that reports no status (only other attributes) changes nothing:
  // writing "" would drop the entry out of every status the system knows.
  const std::string status = dataset.GetString(0x0040, 0x0252);
  if (status.empty()) return MppsSuccess;
  const std::string sql = "UPDATE Worklist SET SPSStatus=" + SqlQuote(status) +
                          " WHERE SOPInstanceUID=" + SqlQuote(sopInstanceUID);
  if (db.Exec(sql) != 0) {
    WriteLog("ERROR, SetMPPS Query, " + db.ErrorText);
    return MppsUpdateFailed;
  }
  return MppsSuccess;
}
