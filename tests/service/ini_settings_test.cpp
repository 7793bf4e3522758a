#include "service/ini_settings.h"

#include <gtest/gtest.h>

#include "platform/temp_folder.h"
#include "service/log.h"
#include "service/settings.h"
#include "support/log_file.h"

namespace tarvelin {

TEST(IniSettings, NoFileGivesTheDefaults) {
  ServerSettings.WL_AET = "LEFTOVER";
  ServerSettings.LogLevel = 2;
  ReadIniSettings("/nonexistent/TRVGUI.ini");
  const ServerSettingsRecord& s = ServerSettings;
  EXPECT_EQ(s.WL_AET, "TARVELIN");
  EXPECT_EQ(s.WL_Port, "104");
  EXPECT_FALSE(s.DebugLog);
  EXPECT_EQ(s.LogLevel, 1);
  EXPECT_EQ(s.HL7Port, "2100");
  EXPECT_EQ(s.WEBPort, "80");
  EXPECT_FALSE(s.DeleteOld);
  EXPECT_FALSE(s.DeletePACS);
  EXPECT_FALSE(s.FilterByAET);
  EXPECT_EQ(s.PACS_AET, "PACS");
  EXPECT_EQ(s.PACS_IP, "127.0.0.1");
  EXPECT_EQ(s.PACS_Port, "11112");
  EXPECT_TRUE(s.Authentication_Enabled);
  EXPECT_EQ(s.DefaultModality, 0);
  EXPECT_EQ(s.UIDRoot, "");
}

TEST(IniSettings, EveryKeyIsRead) {
  TempFolder folder;
  ReadIniSettings(folder.Write("TRVGUI.ini",
                               "[TRVSVC]\n"
                               "WL_AET=MYWL\nWL_Port=worklist\nDebugLog=0x2\nHL7Port=abc\nWEBPort=8080\n"
                               "DeleteOld=1\nDeletePACS=5\nFilterByAET=1\nPACS_AET=ARCHIVE\nPACS_IP=pacs.local\n"
                               "PACS_Port=4242\nAuthentication_Enabled=0\nUIDRoot=1.2.826.0.1.3680043.9.7\n"
                               "[TRVVC]\nDefaultModality=4\n"));
  const ServerSettingsRecord& s = ServerSettings;
  EXPECT_EQ(s.WL_AET, "MYWL");
  EXPECT_EQ(s.WL_Port, "worklist");  // a service name: the socket layer resolves it
  EXPECT_TRUE(s.DebugLog);
  EXPECT_EQ(s.LogLevel, 2);
  EXPECT_EQ(s.HL7Port, "abc");  // kept as written; the listener's port falls back to 2100
  EXPECT_EQ(s.WEBPort, "8080");
  EXPECT_TRUE(s.DeleteOld);
  EXPECT_TRUE(s.DeletePACS);
  EXPECT_TRUE(s.FilterByAET);
  EXPECT_EQ(s.PACS_AET, "ARCHIVE");
  EXPECT_EQ(s.PACS_IP, "pacs.local");
  EXPECT_EQ(s.PACS_Port, "4242");
  EXPECT_FALSE(s.Authentication_Enabled);
  EXPECT_EQ(s.UIDRoot, "1.2.826.0.1.3680043.9.7");
  EXPECT_EQ(s.DefaultModality, 4);
}

TEST(IniSettings, DebugLogYesIsNotANumber) {
  TempFolder folder;
  ReadIniSettings(folder.Write("TRVGUI.ini", "[TRVSVC]\nDebugLog=yes\n"));
  EXPECT_FALSE(ServerSettings.DebugLog);
  EXPECT_EQ(ServerSettings.LogLevel, 1);
  ReadIniSettings(folder.Write("TRVGUI.ini", "[trvsvc]\ndebuglog=7\n"));
  EXPECT_TRUE(ServerSettings.DebugLog);
  EXPECT_EQ(ServerSettings.LogLevel, 2);
}

TEST(IniSettings, DefaultModalityOnlyFromTrvvcAndModulo256) {
  TempFolder folder;
  ReadIniSettings(folder.Write("TRVGUI.ini", "[TRVSVC]\nDefaultModality=5\n"));
  EXPECT_EQ(ServerSettings.DefaultModality, 0);
  ReadIniSettings(folder.Write("TRVGUI.ini", "[TRVSVC]\nDefaultModality=5\n[TRVVC]\nDefaultModality=257\n"));
  EXPECT_EQ(ServerSettings.DefaultModality, 1);
  ReadIniSettings(folder.Write("TRVGUI.ini", "[TRVVC]\nDefaultModality=-1\n"));
  EXPECT_EQ(ServerSettings.DefaultModality, 255);
}

TEST(IniSettings, HL7CharSetIsAnHL7TermWeConvertElse88591) {
  TempFolder folder;
  const std::pair<const char*, const char*> cases[] = {
      {"UNICODE UTF-8", "UNICODE UTF-8"}, {"8859/2", "8859/2"}, {"ASCII", "ASCII"},
      {"utf-8", "8859/1"},  // HL7 names the set UNICODE UTF-8
      {"ISO_IR 192", "8859/1"},  // a DICOM term, not an HL7 one
  };
  for (const auto& [written, read] : cases) {
    ReadIniSettings(folder.Write("TRVGUI.ini", std::string("[TRVSVC]\nHL7CharSet=") + written + "\n"));
    EXPECT_EQ(ServerSettings.HL7CharSet, read) << written;
  }
}

// json (the default) or dicom, in any case; anything else is refused with a line.
TEST(IniSettings, AuditSyslogFormatIsJsonOrDicom) {
  TempFolder folder;
  SetLogTarget(folder.Path() + "main.log");
  const struct {
    const char* written;
    bool dicom;
  } cases[] = {{"", false}, {"json", false}, {"DICOM", true}, {"xml", false}};
  for (const auto& c : cases) {
    ReadIniSettings(folder.Write("TRVGUI.ini", std::string("[TRVSVC]\nAuditSyslogFormat=") + c.written + "\n"));
    EXPECT_EQ(ServerSettings.AuditSyslogDicom, c.dicom) << c.written;
  }
  const std::string log = ReadWholeFile(folder.Path() + "main.log");
  EXPECT_EQ(CountOf(log, "AuditSyslogFormat"), 1) << log;
  EXPECT_NE(log.find("ERROR, AuditSyslogFormat xml refused: not json or dicom; json is used"), std::string::npos);
  ClearLogTarget();
  ServerSettings.AuditSyslogDicom = false;
}

}  // namespace tarvelin
