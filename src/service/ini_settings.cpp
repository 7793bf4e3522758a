#include "service/ini_settings.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <strings.h>
#include <vector>

#include "platform/charset_names.h"
#include "platform/ini_file.h"
#include "service/log.h"
#include "service/settings.h"
#include "service/text.h"

namespace tarvelin {

namespace {

// Generated UIDs append at most 33 characters to the root (".11", an 8-digit
// site, 8 digits of keys, 12 of date and time, three dots), so a root longer
// than this could make UIDs beyond DICOM's 64.
constexpr std::size_t MaxUIDRootLength = 31;

// A UID prefix: numeric components joined by single dots, none with a
// leading zero unless it is "0" itself.
bool IsUIDPrefix(const std::string& root) {
  if (root.empty() || root.size() > MaxUIDRootLength) return false;
  std::size_t componentStart = 0;
  for (std::size_t i = 0; i <= root.size(); ++i) {
    if (i == root.size() || root[i] == '.') {
      const std::size_t length = i - componentStart;
      if (length == 0 || (length > 1 && root[componentStart] == '0')) return false;
      componentStart = i + 1;
    } else if (root[i] < '0' || root[i] > '9') {
      return false;
    }
  }
  return true;
}

// A count that must be at least 1; anything else gives the default.
int PositiveInteger(const IniFile& ini, const std::string& key, int fallback) {
  const int value = ini.ReadInteger("TRVSVC", key, fallback);
  return value >= 1 ? value : fallback;
}

// A size or count where 0 means "no bound"; a negative value gives the default.
int NonNegativeInteger(const IniFile& ini, const std::string& key, int fallback) {
  const int value = ini.ReadInteger("TRVSVC", key, fallback);
  return value >= 0 ? value : fallback;
}

// The whole file; "" when it is missing or unreadable.
std::string ReadTextFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// A character set: a term `known` converts (a DICOM defined term unless told
// otherwise), else refused with a line naming the setting and the set used
// instead.
std::string CharSetTerm(const std::string& setting, const std::string& term, const std::string& fallback,
                        const char* (*known)(std::string_view) = IconvNameOfDicomTerm) {
  if (known(term)) return term;
  WriteLog("ERROR, " + setting + " " + term + " refused: not a supported character set; " + fallback + " is used");
  return fallback;
}

}  // namespace

void ReadIniSettings(const std::string& iniPath) {
  const IniFile ini(iniPath);
  const std::string svc = "TRVSVC";
  ServerSettingsRecord& s = ServerSettings;
  s.WL_AET = ini.ReadString(svc, "WL_AET", "TARVELIN");
  s.WL_Port = ini.ReadString(svc, "WL_Port", "104");
  s.DebugLog = ini.ReadBool(svc, "DebugLog", false);
  s.LogLevel = s.DebugLog ? 2 : 1;
  s.LogLineLimit = NonNegativeInteger(ini, "LogLineLimit", 8192);
  s.LogRotateMB = NonNegativeInteger(ini, "LogRotateMB", 20);
  s.LogRotateFiles = NonNegativeInteger(ini, "LogRotateFiles", 5);
  s.AuditSyslog = ini.ReadString(svc, "AuditSyslog", "");
  const std::string auditFormat = ini.ReadString(svc, "AuditSyslogFormat", "json");
  s.AuditSyslogTLSCAFile = ini.ReadString(svc, "AuditSyslogTLSCAFile", "");
  s.AuditSyslogTLSCert = ini.ReadString(svc, "AuditSyslogTLSCert", "");
  s.AuditSyslogTLSKey = ini.ReadString(svc, "AuditSyslogTLSKey", "");
  s.AuditSyslogDicom = strcasecmp(auditFormat.c_str(), "dicom") == 0;
  if (!s.AuditSyslogDicom && !auditFormat.empty() && strcasecmp(auditFormat.c_str(), "json") != 0)
    WriteLog("ERROR, AuditSyslogFormat " + auditFormat + " refused: not json or dicom; json is used");
  s.HL7Port = ini.ReadString(svc, "HL7Port", "2100");
  s.WEBPort = ini.ReadString(svc, "WEBPort", "80");
  s.DeleteOld = ini.ReadBool(svc, "DeleteOld", false);
  s.DeletePACS = ini.ReadBool(svc, "DeletePACS", false);
  s.FilterByAET = ini.ReadBool(svc, "FilterByAET", false);
  s.PACS_AET = ini.ReadString(svc, "PACS_AET", "PACS");
  s.PACS_IP = ini.ReadString(svc, "PACS_IP", "127.0.0.1");
  s.PACS_Port = ini.ReadString(svc, "PACS_Port", "11112");
  s.Authentication_Enabled = ini.ReadBool(svc, "Authentication_Enabled", true);
  // The configuration tool keeps the web forms' default modality in its own section.
  s.DefaultModality = static_cast<std::uint8_t>(ini.ReadInteger("TRVVC", "DefaultModality", 0));
  s.Database = Trim(ini.ReadString(svc, "Database", ""));
  s.UIDRoot = ini.ReadString(svc, "UIDRoot", "");
  if (!s.UIDRoot.empty() && !IsUIDPrefix(s.UIDRoot)) {
    WriteLog("ERROR, UIDRoot " + s.UIDRoot + " refused: not a UID prefix of at most " +
             std::to_string(MaxUIDRootLength) + " characters (digits and single dots, no leading zeros); " +
             "the built-in root is used");
    s.UIDRoot.clear();
  }
  s.MaxAssociations = PositiveInteger(ini, "MaxAssociations", 100);
  s.AssociationTimeout = PositiveInteger(ini, "AssociationTimeout", 30);
  s.MaxAnswers = ini.ReadInteger(svc, "MaxAnswers", 0);
  if (s.MaxAnswers < 0) {
    WriteLog("ERROR, MaxAnswers " + std::to_string(s.MaxAnswers) + " refused: not a count; no limit is used");
    s.MaxAnswers = 0;
  }
  s.AssociationIdle = PositiveInteger(ini, "AssociationIdle", 60);
  s.MaxQueryBytes = PositiveInteger(ini, "MaxQueryBytes", 64 * 1024);
  s.MaxMppsBytes = PositiveInteger(ini, "MaxMppsBytes", 1024 * 1024);
  s.MaxHL7Connections = PositiveInteger(ini, "MaxHL7Connections", 50);
  s.HL7IdleTimeout = PositiveInteger(ini, "HL7IdleTimeout", 300);
  s.HL7FrameTimeout = PositiveInteger(ini, "HL7FrameTimeout", 30);
  std::vector<std::string> errors;
  s.HL7Senders = SenderAllowList::Parse(ini.ReadString(svc, "HL7AllowedAddresses", ""),
                                        ini.ReadString(svc, "HL7AllowedSenders", ""), errors);
  // Beside the ini file, in the instance folder.
  const std::string callersPath = (std::filesystem::path(iniPath).parent_path() / "callers.txt").string();
  s.Callers = CallerAllowList::Parse(ReadTextFile(callersPath), errors);
  for (const std::string& error : errors)
    WriteLog("ERROR, allow-list entry refused (it matches nothing): " + error);
  if (s.Callers.On()) WriteLog("INFO, DICOM callers limited to the entries of " + callersPath);
  s.HL7Application = ini.ReadString(svc, "HL7Application", "TARVELIN");
  s.HL7Facility = ini.ReadString(svc, "HL7Facility", "");
  s.HL7CharSet = CharSetTerm("HL7CharSet", ini.ReadString(svc, "HL7CharSet", "8859/1"), "8859/1", IconvNameOfHl7Term);
  s.DefaultCharSet = CharSetTerm("DefaultCharSet", ini.ReadString(svc, "DefaultCharSet", "ISO_IR 100"), "ISO_IR 100");
  s.StationCharSets.clear();
  for (const auto& [station, term] : ini.ReadSection("StationCharSet"))
    s.StationCharSets.emplace_back(station, CharSetTerm("StationCharSet " + station, term, s.DefaultCharSet));
  s.WEBTLSCert = ini.ReadString(svc, "WEBTLSCert", "");
  s.WEBTLSKey = ini.ReadString(svc, "WEBTLSKey", "");
  s.WebConnectionsPerAddress = PositiveInteger(ini, "WebConnectionsPerAddress", 16);
  s.WebHeaderTimeout = PositiveInteger(ini, "WebHeaderTimeout", 10);
  s.WebBodyTimeout = PositiveInteger(ini, "WebBodyTimeout", 30);
  s.WebAnswerTimeout = PositiveInteger(ini, "WebAnswerTimeout", 30);
  s.MinPasswordLength = PositiveInteger(ini, "MinPasswordLength", 12);
  s.WLTLSPort = ini.ReadString(svc, "WLTLSPort", "");
  s.WLTLSCert = ini.ReadString(svc, "WLTLSCert", "");
  s.WLTLSKey = ini.ReadString(svc, "WLTLSKey", "");
  s.WLTLSCAFile = ini.ReadString(svc, "WLTLSCAFile", "");
  s.PACS_TLS = ini.ReadBool(svc, "PACS_TLS", false);
  s.PACS_TLSCAFile = ini.ReadString(svc, "PACS_TLSCAFile", "");
  s.PACS_TLSCert = ini.ReadString(svc, "PACS_TLSCert", "");
  s.PACS_TLSKey = ini.ReadString(svc, "PACS_TLSKey", "");
  s.PACS_CharSet = CharSetTerm("PACS_CharSet", ini.ReadString(svc, "PACS_CharSet", "ISO_IR 192"), "ISO_IR 192");
}

}  // namespace tarvelin
