#pragma once
// The find client: asks another DICOM node (a PACS) for studies, series or
// images with C-FIND in the Study Root query/retrieve model. Runs on the
// calling thread and blocks until the association is released.
#include <string>
#include <vector>

#include "dimse/query_records.h"

namespace tarvelin {

class PDU_Service;
class TlsContext;

// Prepares the association request (AE titles padded and cut to 16, the
// DICOM application context, one presentation context for `abstractSyntax`
// with the given transfer syntaxes and implicit VR little endian), sets the
// read time-out and connects. False when the peer cannot be reached or
// refuses; the reason is logged by the network layer.
bool OpenAssociation(PDU_Service& association, const std::string& callingAE, const std::string& calledAE,
                     const std::string& host, const std::string& port, const std::string& abstractSyntax,
                     const std::string& firstTransferSyntax, const std::string& secondTransferSyntax,
                     int timeoutSeconds);
// The same with implicit VR little endian only.
bool OpenAssociation(PDU_Service& association, const std::string& callingAE, const std::string& calledAE,
                     const std::string& host, const std::string& port, const std::string& abstractSyntax,
                     int timeoutSeconds);

// One C-FIND at the level of the record type (StudyInfo: "STUDY",
// SeriesInfo: "SERIES", ImageInfo: "IMAGE"). On entry `records` holds the
// query record first; its keys are sent. Once the request has gone out,
// `records` holds one record per response that carried a status other than
// success (the pending matches, and the record of a failure response).
// True when the peer ended with success, or when more than `maximum`
// responses came (0: no limit). False when the association could not be
// opened (`records` untouched), the request could not be sent, a response
// could not be read (earlier matches stay) or the peer answered a failure.
// With `tls` the association runs over TLS on that context. The request
// names `charsetTerm` in (0008,0005) and its keys are sent in that set (a
// character it lacks goes as "?"); each response's text is read in the set
// it names (in `charsetTerm` when it names none we convert) into the
// records; a response whose text is not valid there fills no fields.
template <class Record>
bool FindSCU(const std::string& callingAE, const std::string& calledAE, const std::string& host,
             const std::string& port, std::vector<Record>& records, int timeoutSeconds,
             const std::string& userName, const std::string& passcode, int maximum,
             const TlsContext* tls = nullptr, const std::string& charsetTerm = "ISO_IR 192");

extern template bool FindSCU<StudyInfo>(const std::string&, const std::string&, const std::string&,
                                        const std::string&, std::vector<StudyInfo>&, int, const std::string&,
                                        const std::string&, int, const TlsContext*,
                                        const std::string&);
extern template bool FindSCU<SeriesInfo>(const std::string&, const std::string&, const std::string&,
                                         const std::string&, std::vector<SeriesInfo>&, int, const std::string&,
                                         const std::string&, int, const TlsContext*,
                                        const std::string&);
extern template bool FindSCU<ImageInfo>(const std::string&, const std::string&, const std::string&,
                                        const std::string&, std::vector<ImageInfo>&, int, const std::string&,
                                        const std::string&, int, const TlsContext*,
                                        const std::string&);

}  // namespace tarvelin
