#include <gtest/gtest.h>

#include "service/text.h"

namespace tarvelin {

TEST(Piece, FieldsOfCaretText) {
  EXPECT_EQ(Piece("A^B^^D", "^", 1), "A");
  EXPECT_EQ(Piece("A^B^^D", "^", 3), "");
  EXPECT_EQ(Piece("A^B^^D", "^", 4), "D");
  EXPECT_EQ(Piece("A^B^^D", "^", 5), "");
  EXPECT_EQ(Piece("A^B^^D", "^", 0), "");
  EXPECT_EQ(Piece("A^B^^D", "^", -3), "");
}

TEST(Piece, MultiCharacterAndTrailingDelimiters) {
  EXPECT_EQ(Piece("a||b", "||", 2), "b");
  EXPECT_EQ(Piece("a||b||", "||", 3), "");
  EXPECT_EQ(Piece("a|", "|", 2), "");
  EXPECT_EQ(Piece("a|", "|", 3), "");
  EXPECT_EQ(Piece("no delimiter", "|", 1), "no delimiter");
}

TEST(Piece, EmptyDelimiter) {
  EXPECT_EQ(Piece("abc", "", 1), "abc");
  EXPECT_EQ(Piece("abc", "", 2), "");
}

TEST(Trim, RemovesControlAndSpaceFromEnds) {
  EXPECT_EQ(Trim(std::string("\t x y \r\n\0", 9)), "x y");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  EXPECT_EQ(Trim("   "), "");
}

TEST(ToIntDef, NumbersAndNonNumbers) {
  EXPECT_EQ(ToIntDef("2100", 7), 2100);
  EXPECT_EQ(ToIntDef("-5", 7), -5);
  EXPECT_EQ(ToIntDef("abc", 80), 80);
  EXPECT_EQ(ToIntDef("12x", 80), 80);
  EXPECT_EQ(ToIntDef("", 80), 80);
  EXPECT_EQ(ToIntDef("99999999999999999999999", 1), 1);
}

}  // namespace tarvelin
