#include "platform/codepage.h"

#include <gtest/gtest.h>

namespace tarvelin {

TEST(Codepage, EveryByteSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
}

TEST(Codepage, KnownCharacters) {
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");        // euro sign
  EXPECT_EQ(Cp1252ToUtf8("\x9F"), "\xC5\xB8");            // Y with diaeresis
  EXPECT_EQ(Cp1252ToUtf8("\xE9t\xE9"), "\xC3\xA9t\xC3\xA9");
  EXPECT_EQ(Utf8ToCp1252("\xE2\x80\x9C" "a" "\xE2\x80\x9D"), "\x93" "a" "\x94");
  EXPECT_EQ(Utf8ToCp1252("\xE4\xB8\xAD \xF0\x9F\x98\x80"), "? ?");  // no 1252 form
}

TEST(Codepage, InvalidUtf8IsRefusedByteByByte) {
  EXPECT_FALSE(IsValidUtf8("\xC0\x80"));          // overlong NUL
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));      // surrogate
  EXPECT_FALSE(IsValidUtf8("\xF4\x90\x80\x80"));  // above U+10FFFF
  EXPECT_FALSE(IsValidUtf8("abc\xE2\x82"));       // cut short
  EXPECT_FALSE(IsValidUtf8("\xFC"));
  EXPECT_TRUE(IsValidUtf8(""));
  EXPECT_EQ(Utf8ToCp1252("a\xE2\x82" "b"), "a??b");
}

TEST(Codepage, Utf16LittleEndian) {
  EXPECT_EQ(Utf16LeToUtf8(std::string("A\0\xAC\x20", 4)), "A\xE2\x82\xAC");
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x3D\xD8\x00\xDE", 4)), "\xF0\x9F\x98\x80");  // surrogate pair
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x3D\xD8", 2)), "\xEF\xBF\xBD");              // unpaired
}

}  // namespace tarvelin
