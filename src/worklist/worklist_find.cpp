#include "worklist/worklist_find.h"

#include <exception>
#include <string>
#include <vector>

#include "dicom/uid.h"
#include "dimse/cfind.h"
#include "dimse/command_set.h"
#include "net/pdu_service.h"
#include "service/log.h"
#include "service/text.h"
#include "worklist/station_filter.h"
#include "worklist/worklist_query.h"
#include "worklist/worklist_response.h"
#include "worklist/worklist_row.h"

namespace {

// Sends one pending response per row. False when a response failed.
bool SendMatches(PDU_Service& association, DcmObj& command, DcmObj& identifier,
                 DcmObj& response, const TextRows& rows, const std::string& columns) {
  if (rows.Count() == 0) return true;
  CFind cfind;
  WorklistRow row(columns);
  std::size_t n = 0;
  try {
    // Every response carries Specific Character Set, in tag order.
    identifier.Set(DcmTag(0x0008, 0x0005, "ISO_IR 100"));
    WorklistResponse answer(identifier, response, row);
    for (; n < rows.Count(); ++n) {
      const bool debug = DebugLogOn();
      if (debug) WriteLog("INFO, Start WL Response #" + std::to_string(n + 1));
      row.SetRow(rows, n);
      answer.Fill(row);
      WriteDebugLog("INFO, Start cfind.WriteRSP");
      if (!cfind.WriteRSP(&association, &command, &response, Cmd::Pending)) {
        WriteLog("ERROR, Worklist RSP: Failed!");
        return false;
      }
      WriteDebugLog("INFO, Worklist RSP: Ok!");
      WriteDebugLog("INFO, Finish cfind.WriteRSP");
      if (debug) WriteLog("INFO, Finish WL Response #" + std::to_string(n + 1));
    }
  } catch (const std::exception& e) {
    const std::string what = e.what();
    WriteLog("ERROR, Exception at CreateWLResponse" + (what.empty() ? "" : ", " + what));
    return false;
  }
  return true;
}

}  // namespace

bool WorklistFind(PDU_Service& association, DcmObj& command) {
  CFind cfind;
  DcmObj identifier;
  if (!cfind.ReadRQ(&association, command, &identifier)) {
    WriteLog("ERROR, cfind.ReadRQ failed!");
    return false;
  }
  DcmObj response;
  TextRows rows;
  std::string columns;
  std::string transferSyntax;
  association.GetTransferSyntaxUID(association.pdata.StoredPresentationContextID, transferSyntax);
  const std::string filterLine = FilterLookup(Trim(association.assocRQ.GetCallingApTitle()));
  if (!WLQuery(identifier, rows, columns, filterLine)) {
    WriteLog("ERROR, Querying Database");
    return false;
  }
  response.TransferSyntax = transferSyntax;
  response.ExplicitVR = transferSyntax != UID_ImplicitVRLittleEndian;
  if (!SendMatches(association, command, identifier, response, rows, columns)) return false;
  cfind.WriteRSP(&association, &command, nullptr, Cmd::Success);
  WriteDebugLog("INFO, Finish Worklist RSP");
  return true;
}
