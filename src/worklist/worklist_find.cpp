#include "worklist/worklist_find.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "db/stored_text.h"
#include "dicom/uid.h"
#include "dimse/cfind.h"
#include "dimse/command_set.h"
#include "net/pdu_service.h"
#include "service/log.h"
#include "service/settings.h"
#include "service/text.h"
#include "worklist/query_charsets.h"
#include "worklist/station_filter.h"
#include "worklist/worklist_identifier.h"
#include "worklist/worklist_query.h"
#include "worklist/worklist_response.h"
#include "worklist/worklist_row.h"

namespace tarvelin {

namespace {

// A cancel is looked for before the first pending response and then after
// every this many: often enough for a modality's cancel to stop a long
// answer at once, rarely enough to cost nothing per response.
constexpr std::size_t CancelCheckInterval = 32;

std::string StatusText(std::uint16_t status) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", status);
  return text;
}

// How the sending of the matches ended.
enum class Answer { Complete, Cancelled, Limited, Ended };

// Sends one pending response per row, up to `limit` (0: all). Looks for a
// cancel between them.
Answer SendMatches(PDU_Service& association, DcmObj& command, DcmObj& identifier, DcmObj& response,
                   const TextRows& rows, const std::string& columns, std::uint16_t pendingStatus,
                   std::size_t limit, const QueryCharsets& charsets) {
  CFind cfind;
  WorklistRow row(columns);
  LogBatch entryLines;
  try {
    Transcoder stored(StoredTextCharset, charsets.AnswerIconv);
    WorklistResponse answer(identifier, response, row, charsets.AnswerTerm, &stored);
    for (std::size_t n = 0; n < rows.Count(); ++n) {
      if (n % CancelCheckInterval == 0) {
        const CFind::Interruption interruption = cfind.CheckInterruption(association, command);
        if (interruption == CFind::Interruption::Cancelled) return Answer::Cancelled;
        if (interruption == CFind::Interruption::Ended) return Answer::Ended;
      }
      if (limit != 0 && n == limit) return Answer::Limited;
      const bool debug = DebugLogOn();
      if (debug) WriteLog("INFO, Start WL Response #" + std::to_string(n + 1));
      row.SetRow(rows, n);
      answer.Fill(row);
      WriteDebugLog("INFO, Start cfind.WriteRSP");
      if (!cfind.WriteRSP(&association, &command, &response, pendingStatus)) {
        WriteLog("ERROR, Worklist RSP: Failed!");
        return Answer::Ended;
      }
      WriteDebugLog("INFO, Worklist RSP: Ok!");
      WriteDebugLog("INFO, Finish cfind.WriteRSP");
      if (debug) WriteLog("INFO, Finish WL Response #" + std::to_string(n + 1));
    }
  } catch (const std::exception& e) {
    const std::string what = e.what();
    WriteLog("ERROR, Exception at CreateWLResponse" + (what.empty() ? "" : ", " + what));
    return Answer::Ended;
  }
  return Answer::Complete;
}

// Answers with a failure only, logged with its reason.
bool Refuse(PDU_Service& association, const DcmObj& command, const QueryRefusal& refusal) {
  std::string line = "WARNING, Worklist query refused with status " + StatusText(refusal.Status) + ": " + refusal.Comment;
  if (refusal.Offending) line.append(" ").append(TagText(refusal.Offending));
  WriteLog(line);
  return CFind().WriteFailureRSP(association, command, refusal.Status, refusal.Comment, refusal.Offending);
}

}  // namespace

bool WorklistFind(PDU_Service& association, DcmObj& command) {
  CFind cfind;
  DcmObj identifier;
  if (!cfind.ReadRQ(&association, command, &identifier)) {
    WriteLog("ERROR, cfind.ReadRQ failed!");
    return false;
  }
  // A query larger than any real one is answered, not run: its identifier
  // was never kept, so it cost no memory.
  if (association.PartOversized()) {
    WriteLog("ERROR, C-FIND identifier over " + std::to_string(ServerSettings.MaxQueryBytes) +
             " bytes (MaxQueryBytes), refused with status A700");
    return cfind.WriteRSP(&association, &command, nullptr, Cmd::OutOfResources);
  }
  std::vector<std::uint32_t> unsupported;
  if (QueryRefusal refusal = ShapeWorklistIdentifier(identifier, unsupported))
    return Refuse(association, command, refusal);
  const std::string callingAETitle = Trim(association.assocRQ.GetCallingApTitle());
  const std::string filterLine = FilterLookup(callingAETitle);
  const QueryCharsets charsets = ChooseQueryCharsets(identifier, callingAETitle);
  WorklistQuery query;
  try {
    Transcoder keys(charsets.RequestIconv, StoredTextCharset);
    query = TranslateWorklistQuery(identifier, filterLine, &keys);
  } catch (const std::exception& e) {
    WriteLog(std::string("ERROR, WorklistFind, ") + e.what());
    return Refuse(association, command, {Cmd::UnableToProcess, "character set conversion unavailable", 0});
  }
  if (query.Refusal) return Refuse(association, command, query.Refusal);
  TextRows rows;
  if (!WLQuery(query, rows)) {
    WriteLog("ERROR, Querying Database");
    return Refuse(association, command, {Cmd::DatabaseUnavailable, "worklist database unavailable", 0});
  }
  unsupported.insert(unsupported.end(), query.Unsupported.begin(), query.Unsupported.end());
  std::uint16_t pendingStatus = Cmd::Pending;
  if (!unsupported.empty()) {
    std::string tags;
    for (std::uint32_t tag : unsupported) tags += (tags.empty() ? "" : ", ") + TagText(tag);
    WriteLog("WARNING, Worklist query keys not matched on: " + tags + "; pending status 0xFF01");
    pendingStatus = Cmd::PendingWarning;
  }

  std::string transferSyntax;
  association.GetTransferSyntaxUID(association.pdata.StoredPresentationContextID, transferSyntax);
  DcmObj response;
  response.TransferSyntax = transferSyntax;
  response.ExplicitVR = transferSyntax != UID_ImplicitVRLittleEndian;
  // Every response carries the Specific Character Set of its values, in tag order.
  identifier.Set(DcmTag(0x0008, 0x0005, charsets.AnswerTerm));
  const std::size_t limit = ServerSettings.MaxAnswers > 0 ? static_cast<std::size_t>(ServerSettings.MaxAnswers) : 0;
  switch (SendMatches(association, command, identifier, response, rows, query.Columns, pendingStatus, limit,
                      charsets)) {
    case Answer::Ended:
      return false;
    case Answer::Cancelled:
      cfind.WriteRSP(&association, &command, nullptr, Cmd::Cancel);
      break;
    case Answer::Limited:
      WriteLog("WARNING, Worklist answer stopped after " + std::to_string(limit) + " of " +
               std::to_string(rows.Count()) + " matches (MaxAnswers)");
      cfind.WriteFailureRSP(association, command, Cmd::OutOfResources,
                            "more than " + std::to_string(limit) + " matches; narrow the query", 0);
      break;
    case Answer::Complete:
      cfind.WriteRSP(&association, &command, nullptr, Cmd::Success);
      break;
  }
  WriteDebugLog("INFO, Finish Worklist RSP");
  return true;
}

}  // namespace tarvelin
