#include "dimse/find_scu.h"

#include <cstdint>
#include <cstdio>

#include "dicom/dataset_text.h"
#include "dicom/uid.h"
#include "dimse/cfind.h"
#include "dimse/command_set.h"
#include "dimse/query_identifier.h"
#include "net/identifier.h"
#include "net/pdu_service.h"
#include "net/presentation_context.h"
#include "platform/charset_names.h"
#include "platform/transcoder.h"
#include "service/log.h"
#include "service/text.h"

namespace tarvelin {

namespace {

std::string AETitle16(const std::string& title) {
  std::string padded = title.substr(0, 16);
  padded.resize(16, ' ');
  return padded;
}

bool IsPending(std::int32_t status) { return status == 0xFF00 || status == 0xFF01; }

constexpr const char* kRecordCharset = "UTF-8";

// Takes a response's text from the set it names (`askedIconv` when it names
// none we convert) into the records' set. False, with a warning line, when
// it is not text of that set.
bool ReadInRecordCharset(DcmObj& identifier, const std::string& askedIconv) {
  std::string named;
  Transcoder toRecord(DatasetCharset(identifier, askedIconv, named), kRecordCharset);
  const std::uint32_t invalid = ConvertDatasetText(identifier, toRecord, "").Invalid;
  if (invalid)
    WriteLog("WARNING, FindSCU, a response's " + Hex8(invalid) + " is not text of its character set " +
             (named.empty() ? "(none named)" : named) + "; its values are not used");
  return invalid == 0;
}

}  // namespace

bool OpenAssociation(PDU_Service& association, const std::string& callingAE, const std::string& calledAE,
                     const std::string& host, const std::string& port, const std::string& abstractSyntax,
                     const std::string& firstTransferSyntax, const std::string& secondTransferSyntax,
                     int timeoutSeconds) {
  const std::string calling = AETitle16(callingAE);
  const std::string called = AETitle16(calledAE);
  association.assocRQ.SetCallingApTitle(calling);
  association.assocRQ.SetCalledApTitle(called);
  association.assocRQ.SetApplicationContext(UID_ApplicationContext);
  association.Link.Sock.SetTimeout(timeoutSeconds);
  WriteDebugLog("INFO, OpenAssociation, Calling Ap. Title: " + calling);
  WriteDebugLog("INFO, OpenAssociation, Called Ap. Title: " + called);

  ResetIdentifierCounter();
  PresentationContext context;
  context.SetAbstractSyntax(abstractSyntax);
  if (!secondTransferSyntax.empty()) context.AddTransferSyntax(secondTransferSyntax);
  if (!firstTransferSyntax.empty() && firstTransferSyntax != secondTransferSyntax)
    context.AddTransferSyntax(firstTransferSyntax);
  if (firstTransferSyntax != UID_ImplicitVRLittleEndian && secondTransferSyntax != UID_ImplicitVRLittleEndian)
    context.AddTransferSyntax(UID_ImplicitVRLittleEndian);
  association.assocRQ.PresContexts.clear();
  association.assocRQ.AddPresentationContext(context);
  return association.Connect(host, port);
}

bool OpenAssociation(PDU_Service& association, const std::string& callingAE, const std::string& calledAE,
                     const std::string& host, const std::string& port, const std::string& abstractSyntax,
                     int timeoutSeconds) {
  return OpenAssociation(association, callingAE, calledAE, host, port, abstractSyntax, "", "", timeoutSeconds);
}

template <class Record>
bool FindSCU(const std::string& callingAE, const std::string& calledAE, const std::string& host,
             const std::string& port, std::vector<Record>& records, int timeoutSeconds,
             const std::string& userName, const std::string& passcode, int maximum,
             const TlsContext* tls, const std::string& charsetTerm) {
  const char* charsetIconv = IconvNameOfDicomTerm(charsetTerm);
  if (!charsetIconv) {
    WriteLog("ERROR, FindSCU, character set " + charsetTerm + " not supported");
    return false;
  }
  PDU_Service association;
  association.Tls = tls;
  association.DumpDataSets = DebugLogOn();
  association.UserName = userName;
  association.Passcode = passcode;
  bool result = false;
  if (!OpenAssociation(association, callingAE, calledAE, host, port, UID_StudyRootFind, timeoutSeconds)) {
    WriteLog("ERROR, FindSCU, OpenAssoc failed");
    return false;
  }

  DcmObj request = BuildQueryIdentifier(records.empty() ? Record{} : records.front());
  records.clear();
  Transcoder toPeer(kRecordCharset, charsetIconv);
  if (ConvertDatasetText(request, toPeer, charsetTerm).Replaced > 0)
    WriteLog("WARNING, FindSCU, a key holds characters that " + charsetTerm + " lacks; sent as ?");
  CFind find;
  if (!find.WriteRQ(&association, request, UID_StudyRootFind)) {
    WriteLog("ERROR, FindSCU, WriteFindRQ failed");
    association.Release();
    return false;
  }

  std::int32_t status = Cmd::Pending;
  int responses = 0;
  bool stoppedEarly = false;
  while (IsPending(status)) {
    DcmObj identifier;
    status = find.ReadRSP(&association, identifier);
    if (status == -1) break;
    if (status != Cmd::Success) {
      records.emplace_back();
      if (ReadInRecordCharset(identifier, charsetIconv)) FillFromIdentifier(records.back(), identifier);
    } else {
      result = true;
    }
    ++responses;
    if (maximum > 0 && responses > maximum) {
      result = true;
      stoppedEarly = true;
      break;
    }
  }
  if (status != Cmd::Success) WriteLog("WARNING, FindSCU, status=" + Hex8(static_cast<std::uint32_t>(status)));
  // The peer is still sending matches: a release now would cross them on the
  // wire, so the association is aborted instead.
  if (stoppedEarly)
    association.Abort(AbortSource::ServiceUser);
  else
    association.Release();
  return result;
}

template bool FindSCU<StudyInfo>(const std::string&, const std::string&, const std::string&, const std::string&,
                                 std::vector<StudyInfo>&, int, const std::string&, const std::string&, int,
                                 const TlsContext*, const std::string&);
template bool FindSCU<SeriesInfo>(const std::string&, const std::string&, const std::string&, const std::string&,
                                  std::vector<SeriesInfo>&, int, const std::string&, const std::string&, int,
                                 const TlsContext*, const std::string&);
template bool FindSCU<ImageInfo>(const std::string&, const std::string&, const std::string&, const std::string&,
                                 std::vector<ImageInfo>&, int, const std::string&, const std::string&, int,
                                 const TlsContext*, const std::string&);

}  // namespace tarvelin
