#include "setup/ini_edit.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/ini_file.h"
#include "service/ini_settings.h"
#include "service/settings.h"
#include "setup/default_ini.h"
#include "temp_folder.h"

namespace tarvelin {

namespace {

// Removes the ";" of every commented-out "Key=" line.
std::string Uncommented(std::string text) {
  for (std::size_t at = text.find("\n;"); at != std::string::npos; at = text.find("\n;", at + 1)) {
    std::size_t end = at + 2;
    while (end < text.size() && (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) ++end;
    if (end > at + 2 && end < text.size() && text[end] == '=') text.erase(at + 1, 1);
  }
  return text;
}
class IniEditTest : public ::testing::Test {
 protected:
  TempFolder temp_;
  const std::string folder_ = temp_.path();
  const std::string path_ = folder_ + "/TRVGUI.ini";

  void Write(const std::string& text) const { std::ofstream(path_, std::ios::binary) << text; }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  bool Set(const std::string& section, const std::string& key, const std::string& value) {
    error_.clear();
    return SetIniValue(path_, section, key, value, error_);
  }

  std::string error_;
};

TEST_F(IniEditTest, ReplacesTheKeyTheReaderFindsAndKeepsEveryOtherLine) {
  Write("; header\r\n[trvsvc]\r\n  wl_port = 104 \r\nWL_AET=A\r\n[Other]\r\nWL_Port=1\r\n[TRVSVC]\r\nWL_Port=2\r\n");
  ASSERT_TRUE(Set("TRVSVC", "WL_Port", "1104")) << error_;
  EXPECT_EQ(Read(), "; header\r\n[trvsvc]\r\nWL_Port=1104\r\nWL_AET=A\r\n[Other]\r\nWL_Port=1\r\n[TRVSVC]\r\nWL_Port=2\r\n");
  EXPECT_EQ(IniFile(path_).ReadString("TRVSVC", "WL_Port", ""), "1104");
}

// Only the key the reader would find goes; a missing one is no failure.
TEST_F(IniEditTest, RemovesTheKeyTheReaderFindsAndNothingElse) {
  const struct {
    const char* before;
    const char* after;
  } cases[] = {
      {"[trvsvc]\r\n;Database=sqlite\r\n database = postgresql:a \r\nDatabase=b\r\n[TRVSVC]\r\nDatabase=c\r\n",
       "[trvsvc]\r\n;Database=sqlite\r\nDatabase=b\r\n[TRVSVC]\r\nDatabase=c\r\n"},
      {"[Other]\nDatabase=x\n[TRVSVC]\nWL_AET=A\n", "[Other]\nDatabase=x\n[TRVSVC]\nWL_AET=A\n"},
      {"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    Write(c.before);
    ASSERT_TRUE(RemoveIniValue(path_, "TRVSVC", "Database", error_)) << error_;
    EXPECT_EQ(Read(), c.after);
  }
}

TEST_F(IniEditTest, KeepsAByteOrderMarkAndRefusesUtf16) {
  Write("\xEF\xBB\xBF[TRVSVC]\nWL_AET=A\n");
  ASSERT_TRUE(Set("TRVSVC", "WL_AET", "B")) << error_;
  EXPECT_EQ(Read(), "\xEF\xBB\xBF[TRVSVC]\nWL_AET=B\n");
  Write(std::string("\xFF\xFE[\0S\0]\0", 8));
  EXPECT_FALSE(Set("S", "K", "1"));
  EXPECT_THAT(error_, ::testing::HasSubstr("UTF-16"));
}

TEST_F(IniEditTest, AddsMissingKeysSectionsAndFiles) {
  ASSERT_TRUE(Set("TRVSVC", "HL7Port", "2200")) << error_;  // no file yet
  EXPECT_EQ(Read(), "[TRVSVC]\nHL7Port=2200\n");
  ASSERT_TRUE(Set("TRVSVC", "WEBPort", "8080"));
  ASSERT_TRUE(Set("TRVVC", "DefaultModality", "1"));
  EXPECT_EQ(Read(), "[TRVSVC]\nHL7Port=2200\nWEBPort=8080\n\n[TRVVC]\nDefaultModality=1\n");
  // A key of an earlier section lands in that section, not at the end of the file.
  ASSERT_TRUE(Set("trvsvc", "PACS_IP", "10.0.0.5"));
  EXPECT_EQ(Read(), "[TRVSVC]\nHL7Port=2200\nWEBPort=8080\nPACS_IP=10.0.0.5\n\n[TRVVC]\nDefaultModality=1\n");
}

TEST_F(IniEditTest, ValuesSurviveTheReadersTrimmingAndUnquoting) {
  for (const std::string value : {" padded ", "\"quoted\"", "'single'", "", "a=b;c", "\"half"}) {
    ASSERT_TRUE(Set("S", "K", value)) << error_;
    EXPECT_EQ(IniFile(path_).ReadString("S", "K", "<missing>"), value);
  }
}

TEST_F(IniEditTest, RefusesWhatCannotBeWrittenFaithfullyAndLeavesTheFile) {
  Write("[S]\nK=1\n");
  EXPECT_FALSE(Set("S]", "K", "1"));
  EXPECT_FALSE(Set("", "K", "1"));
  EXPECT_FALSE(Set("S", "K=", "1"));
  EXPECT_FALSE(Set("S", ";K", "1"));
  EXPECT_FALSE(Set("S", "K", "two\nlines"));
  EXPECT_FALSE(Set("S", "K", std::string(2048, 'x')));
  EXPECT_THAT(error_, ::testing::HasSubstr("2047"));
  EXPECT_EQ(Read(), "[S]\nK=1\n");
  EXPECT_FALSE(SetIniValue(folder_ + "/missing/TRVGUI.ini", "S", "K", "1", error_));
  EXPECT_THAT(error_, ::testing::HasSubstr("cannot write"));
}

// Every key the server reads appears commented out with the server's own default.
TEST_F(IniEditTest, DefaultFileDocumentsEveryKeyWithTheServersDefault) {
  const std::string text = DefaultIniText();
  for (const char* key : {"WL_AET", "WL_Port", "DebugLog", "HL7Port", "WEBPort", "DeleteOld", "DeletePACS",
                          "FilterByAET", "PACS_AET", "PACS_IP", "PACS_Port", "Authentication_Enabled",
                          "Database", "UIDRoot", "MaxAssociations", "AssociationTimeout", "HL7Application", "HL7Facility",
                          "HL7CharSet", "DefaultModality"})
    EXPECT_THAT(text, ::testing::HasSubstr(std::string("\n;") + key + "=")) << key;
  Write(text);
  ServerSettings.WL_AET = "changed";
  ReadIniSettings(path_);  // all commented out: defaults
  EXPECT_EQ(ServerSettings.WL_AET, "TARVELIN");

  // Uncommented, the documented defaults must read as the same settings.
  Write(Uncommented(text));
  ServerSettings.Authentication_Enabled = false;
  ServerSettings.WL_Port = "x";
  ReadIniSettings(path_);
  const ServerSettingsRecord defaults;
  const ServerSettingsRecord& read = ServerSettings;
  EXPECT_EQ(read.WL_AET, defaults.WL_AET);
  EXPECT_EQ(read.WL_Port, defaults.WL_Port);
  EXPECT_EQ(read.HL7Port, defaults.HL7Port);
  EXPECT_EQ(read.WEBPort, defaults.WEBPort);
  EXPECT_EQ(read.PACS_AET, defaults.PACS_AET);
  EXPECT_EQ(read.PACS_IP, defaults.PACS_IP);
  EXPECT_EQ(read.PACS_Port, defaults.PACS_Port);
  EXPECT_EQ(read.UIDRoot, defaults.UIDRoot);
  EXPECT_EQ(read.Database, defaults.Database);
  EXPECT_EQ(read.MaxAssociations, defaults.MaxAssociations);
  EXPECT_EQ(read.AssociationTimeout, defaults.AssociationTimeout);
  EXPECT_EQ(read.HL7Application, defaults.HL7Application);
  EXPECT_EQ(read.HL7Facility, defaults.HL7Facility);
  EXPECT_EQ(read.HL7CharSet, defaults.HL7CharSet);
  EXPECT_EQ(read.DebugLog, defaults.DebugLog);
  EXPECT_EQ(read.DeleteOld, defaults.DeleteOld);
  EXPECT_EQ(read.DeletePACS, defaults.DeletePACS);
  EXPECT_EQ(read.FilterByAET, defaults.FilterByAET);
  EXPECT_EQ(read.Authentication_Enabled, defaults.Authentication_Enabled);
  EXPECT_EQ(read.DefaultModality, defaults.DefaultModality);
}
}  // namespace

}  // namespace tarvelin
