#pragma once
// UID classifiers, display names and the UID generator.
#include <string>

namespace tarvelin {

// Transfer syntaxes.
inline constexpr const char* UID_ImplicitVRLittleEndian = "1.2.840.10008.1.2";
inline constexpr const char* UID_ExplicitVRLittleEndian = "1.2.840.10008.1.2.1";
inline constexpr const char* UID_ExplicitVRBigEndian = "1.2.840.10008.1.2.2";
inline constexpr const char* UID_JPEGBaseline = "1.2.840.10008.1.2.4.50";
inline constexpr const char* UID_JPEGExtended = "1.2.840.10008.1.2.4.51";
inline constexpr const char* UID_JPEGLossless = "1.2.840.10008.1.2.4.70";
inline constexpr const char* UID_JPEG2000Lossless = "1.2.840.10008.1.2.4.90";
inline constexpr const char* UID_JPEG2000 = "1.2.840.10008.1.2.4.91";
inline constexpr const char* UID_MPEG2MainProfile = "1.2.840.10008.1.2.4.100";
inline constexpr const char* UID_MPEG4AVCHighProfile = "1.2.840.10008.1.2.4.102";

// Application context and SOP classes.
inline constexpr const char* UID_ApplicationContext = "1.2.840.10008.3.1.1.1";
inline constexpr const char* UID_Verification = "1.2.840.10008.1.1";
inline constexpr const char* UID_ModalityWorklistFind = "1.2.840.10008.5.1.4.31";
inline constexpr const char* UID_StudyRootFind = "1.2.840.10008.5.1.4.1.2.2.1";
inline constexpr const char* UID_StudyRootMove = "1.2.840.10008.5.1.4.1.2.2.2";
inline constexpr const char* UID_MPPS = "1.2.840.10008.3.1.2.3.3";

// The built-in UID root; ServerSettings.UIDRoot (ini TRVSVC/UIDRoot)
// replaces it when not empty.
inline constexpr const char* DefaultUIDRoot = "1.3.6.1.4.1.47923.11";
// The UID root in effect.
std::string UIDRoot();
// The implementation class UID: UIDRoot() + ".999".
std::string ImplementationClassUID();
inline constexpr const char* ImplementationVersionName = "QuillatSoft";

// Display name, or "" for an unknown UID.
std::string GetUIDName(const std::string& uid);

// A UID under UIDRoot() that no other call returns, in this process, after a
// restart or on another server: root "." prefix "." a strictly increasing
// count of microseconds ["." the node number, when not 0] "." a random number
// drawn once per process, cut to the 64 characters a UID may have. `prefix`
// is a number that keeps the kinds of generated UIDs apart.
std::string UniqueUID(const std::string& prefix);

// The Study Instance UID given to a worklist entry that arrives without one
// (HL7 orders, order files, the web form).
std::string NewStudyUID();

}  // namespace tarvelin
