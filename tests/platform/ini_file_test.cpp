#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include "platform/temp_folder.h"

namespace tarvelin {

namespace {
IniFile IniOf(const TempFolder& folder, const std::string& bytes) { return IniFile(folder.Write("t.ini", bytes)); }
}  // namespace

TEST(IniFile, MissingFileGivesDefaults) {
  IniFile ini("/nonexistent/folder/TRVGUI.ini");
  EXPECT_EQ(ini.ReadString("TRVSVC", "WL_AET", "TARVELIN"), "TARVELIN");
  EXPECT_EQ(ini.ReadInteger("TRVSVC", "X", 42), 42);
  EXPECT_TRUE(ini.ReadBool("TRVSVC", "Authentication_Enabled", true));
}

TEST(IniFile, IntegersAreDecimalOrHexElseDefault) {
  TempFolder folder;
  IniFile ini = IniOf(folder,
                      "[S]\nhex=0x1F\nHEX2=0X1f\nneg=-5\nplus=+7\nabc=abc\nmixed=12abc\nzerox=0x\n"
                      "hexbad=0x1G\nsigns=+-5\nbig=99999999999\nffff=0xFFFFFFFF\ntoolong=0x100000000\nspace=1 2\n");
  EXPECT_EQ(ini.ReadInteger("S", "hex", 0), 31);
  EXPECT_EQ(ini.ReadInteger("S", "hex2", 0), 31);
  EXPECT_EQ(ini.ReadInteger("S", "neg", 0), -5);
  EXPECT_EQ(ini.ReadInteger("S", "plus", 0), 7);
  EXPECT_EQ(ini.ReadInteger("S", "abc", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "mixed", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "zerox", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "hexbad", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "signs", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "big", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "ffff", 9), -1);
  EXPECT_EQ(ini.ReadInteger("S", "toolong", 9), 9);
  EXPECT_EQ(ini.ReadInteger("S", "space", 9), 9);
}

TEST(IniFile, BooleansAreNonZeroIntegers) {
  TempFolder folder;
  IniFile ini = IniOf(folder, "[S]\none=1\ntwo=2\nzero=0\nyes=yes\ntrue=true\nhex=0x10\nempty=\n");
  EXPECT_TRUE(ini.ReadBool("S", "one", false));
  EXPECT_TRUE(ini.ReadBool("S", "two", false));
  EXPECT_TRUE(ini.ReadBool("S", "hex", false));
  EXPECT_FALSE(ini.ReadBool("S", "zero", true));
  EXPECT_FALSE(ini.ReadBool("S", "yes", false));  // not a number: the default
  EXPECT_TRUE(ini.ReadBool("S", "yes", true));
  EXPECT_FALSE(ini.ReadBool("S", "true", false));
  EXPECT_TRUE(ini.ReadBool("S", "empty", true));
}

TEST(IniFile, NamesAreCaseInsensitiveAndFirstMatchWins) {
  TempFolder folder;
  IniFile ini = IniOf(folder,
                      "orphan=outside any section\r\n"
                      "[trvSvc]\r\n  Wl_Aet  =  FIRST  \r\nWL_AET=SECOND\r\n; WL_PORT=999\r\n"
                      "[TRVVC]\r\nDefaultModality=3\r\n"
                      "[TRVSVC]\r\nWL_PORT=4242\r\n");
  EXPECT_EQ(ini.ReadString("TRVSVC", "wl_aet", "x"), "FIRST");
  EXPECT_EQ(ini.ReadString("TrvVc", "DEFAULTMODALITY", "x"), "3");
  // Only the first section of a name is searched; comments are not keys.
  EXPECT_EQ(ini.ReadString("TRVSVC", "WL_Port", "104"), "104");
  EXPECT_EQ(ini.ReadString("TRVSVC", "orphan", "none"), "none");
  EXPECT_EQ(ini.ReadString("TRVSVC", "; WL_PORT", "none"), "none");
}

TEST(IniFile, ValuesAreTrimmedAndUnquotedOnce) {
  TempFolder folder;
  IniFile ini = IniOf(folder,
                      "[S]\ndq=\"  spaced value  \"\nsq='single'\nnested=\"\"twice\"\"\nodd=\"open\n"
                      "mixed=\"a'\nempty=\nequals=a=b\ntabs=\t v \t\n");
  EXPECT_EQ(ini.ReadString("S", "dq", ""), "  spaced value  ");
  EXPECT_EQ(ini.ReadString("S", "sq", ""), "single");
  EXPECT_EQ(ini.ReadString("S", "nested", ""), "\"twice\"");
  EXPECT_EQ(ini.ReadString("S", "odd", ""), "\"open");
  EXPECT_EQ(ini.ReadString("S", "mixed", ""), "\"a'");
  EXPECT_EQ(ini.ReadString("S", "empty", "default"), "");
  EXPECT_EQ(ini.ReadString("S", "equals", ""), "a=b");
  EXPECT_EQ(ini.ReadString("S", "tabs", ""), "v");
}

TEST(IniFile, LongValuesAreCutAt2047Characters) {
  TempFolder folder;
  IniFile ini = IniOf(folder, "[S]\nlong=" + std::string(3000, 'x') + "\nexact=" + std::string(2047, 'y') + "\n");
  EXPECT_EQ(ini.ReadString("S", "long", ""), std::string(2047, 'x'));
  EXPECT_EQ(ini.ReadString("S", "exact", ""), std::string(2047, 'y'));
}

TEST(IniFile, TextComesBackAsUtf8) {
  TempFolder folder;
  // UTF-8 with a BOM stays as it is, a character no 8-bit set has included.
  IniFile utf8 = IniOf(folder, "\xEF\xBB\xBF[S]\nname=M\xC3\xBCller \xE2\x82\xAC \xCE\xA9\n");
  EXPECT_EQ(utf8.ReadString("S", "name", ""), "M\xC3\xBCller \xE2\x82\xAC \xCE\xA9");
  // Not valid UTF-8: read as Windows-1252, as older set-up tools wrote it.
  IniFile raw = IniOf(folder, "[S]\nname=M\xFCller \x80\n");
  EXPECT_EQ(raw.ReadString("S", "name", ""), "M\xC3\xBCller \xE2\x82\xAC");
  // UTF-16LE with its BOM, as Windows tools write it.
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string("[S]\r\nname=M\xFCller\r\n")) utf16 += std::string{c, '\0'};
  IniFile wide = IniOf(folder, utf16);
  EXPECT_EQ(wide.ReadString("S", "name", ""), "M\xC3\xBCller");
  // A long value is cut after 2047 characters, not inside the 2047th.
  IniFile longText = IniOf(folder, "[S]\nname=" + std::string(2046, 'x') + "\xC3\xBC\xC3\xBC\n");
  EXPECT_EQ(longText.ReadString("S", "name", ""), std::string(2046, 'x') + "\xC3\xBC");
}

}  // namespace tarvelin
