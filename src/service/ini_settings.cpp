#include "service/ini_settings.h"

#include <cstdint>

#include "platform/ini_file.h"
#include "service/settings.h"

void ReadIniSettings(const std::string& iniPath) {
  const IniFile ini(iniPath);
  const std::string svc = "TRVSVC";
  ServerSettingsRecord& s = ServerSettings;
  s.WL_AET = ini.ReadString(svc, "WL_AET", "TARVELIN");
  s.WL_Port = ini.ReadString(svc, "WL_Port", "104");
  s.DebugLog = ini.ReadBool(svc, "DebugLog", false);
  s.LogLevel = s.DebugLog ? 2 : 1;
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
  s.UIDRoot = ini.ReadString(svc, "UIDRoot", "");
  s.HL7Application = ini.ReadString(svc, "HL7Application", "TARVELIN");
  s.HL7Facility = ini.ReadString(svc, "HL7Facility", "");
  s.WEBTLSCert = ini.ReadString(svc, "WEBTLSCert", "");
  s.WEBTLSKey = ini.ReadString(svc, "WEBTLSKey", "");
}
