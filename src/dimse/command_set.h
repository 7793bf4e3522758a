#pragma once
// Building blocks of the DIMSE command sets this system writes: the element
// numbers of command group 0000, the fixed values, and the group length rule.
#include <cstdint>
#include <string>
#include <vector>

#include "dicom/dcmobj.h"
#include "dicom/dcmtag.h"

namespace tarvelin {

namespace Cmd {
// Element numbers in group 0000.
inline constexpr std::uint16_t GroupLength = 0x0000;
inline constexpr std::uint16_t AffectedSOPClassUID = 0x0002;
inline constexpr std::uint16_t RequestedSOPClassUID = 0x0003;
inline constexpr std::uint16_t CommandField = 0x0100;
inline constexpr std::uint16_t MessageID = 0x0110;
inline constexpr std::uint16_t MessageIDBeingRespondedTo = 0x0120;
inline constexpr std::uint16_t Priority = 0x0700;
inline constexpr std::uint16_t CommandDataSetType = 0x0800;
inline constexpr std::uint16_t Status = 0x0900;
inline constexpr std::uint16_t OffendingElement = 0x0901;
inline constexpr std::uint16_t ErrorComment = 0x0902;
inline constexpr std::uint16_t AffectedSOPInstanceUID = 0x1000;
inline constexpr std::uint16_t RequestedSOPInstanceUID = 0x1001;

// Command field values.
inline constexpr std::uint16_t C_FIND_RQ = 0x0020;
inline constexpr std::uint16_t C_ECHO_RQ = 0x0030;
inline constexpr std::uint16_t N_SET_RQ = 0x0120;
inline constexpr std::uint16_t N_CREATE_RQ = 0x0140;
inline constexpr std::uint16_t C_CANCEL_RQ = 0x0FFF;
inline constexpr std::uint16_t C_FIND_RSP = 0x8020;
inline constexpr std::uint16_t C_ECHO_RSP = 0x8030;
inline constexpr std::uint16_t N_SET_RSP = 0x8120;
inline constexpr std::uint16_t N_CREATE_RSP = 0x8140;

// Data set type: 0x0101 means no data set follows; anything else means one does.
inline constexpr std::uint16_t NoDataSet = 0x0101;
inline constexpr std::uint16_t DataSetPresent = 0x0102;

// Status values.
inline constexpr std::uint16_t Success = 0x0000;
inline constexpr std::uint16_t Pending = 0xFF00;
// Pending, with keys the provider does not match on.
inline constexpr std::uint16_t PendingWarning = 0xFF01;
inline constexpr std::uint16_t Cancel = 0xFE00;
inline constexpr std::uint16_t OutOfResources = 0xA700;
inline constexpr std::uint16_t IdentifierDoesNotMatchSOPClass = 0xA900;
inline constexpr std::uint16_t UnableToProcess = 0xC000;
inline constexpr std::uint16_t DatabaseUnavailable = 0xC001;  // of the unable-to-process range
// Failures of N-CREATE/N-SET: a class the context was not negotiated for;
// a data set larger than this server takes.
inline constexpr std::uint16_t SOPClassNotSupported = 0x0122;
inline constexpr std::uint16_t ResourceLimitation = 0x0213;

inline constexpr std::uint16_t MediumPriority = 0x0000;
}  // namespace Cmd

// A UID element of group 0000, padded to even length with a zero byte.
DcmTag CommandUID(std::uint16_t element, const std::string& uid);
// A 16-bit element of group 0000.
DcmTag CommandUS(std::uint16_t element, std::uint16_t value);
// A text element of group 0000 (Error Comment), at most 64 characters.
DcmTag CommandLO(std::uint16_t element, const std::string& text);
// An attribute tag element of group 0000 (Offending Element).
DcmTag CommandAT(std::uint16_t element, std::uint16_t group, std::uint16_t tagElement);

// The command set made of `elements` (ascending tags) preceded by the group
// length (0000,0000): the byte count of the elements, 8 header bytes each plus
// their value length. Encoded in implicit VR little endian, as every command set.
DcmObj MakeCommandSet(std::vector<DcmTag> elements);

}  // namespace tarvelin
