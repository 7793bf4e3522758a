// Conversions between the character sets text arrives and leaves in: strict
// about bytes the source set does not define, "?" for characters the target
// set lacks, and the names DICOM gives the sets.
#include <gtest/gtest.h>

#include <stdexcept>

#include "platform/charset_names.h"
#include "platform/transcoder.h"

namespace tarvelin {

namespace {

struct Conversion {
  const char* From;
  const char* To;
  std::string In;
  std::string Out;
  bool Valid;
  std::size_t Replaced;
};

TEST(Transcoder, ConvertsReplacesAndRefuses) {
  const Conversion cases[] = {
      {"ISO-8859-1", "UTF-8", "M\xDCLLER^J\xD6RG", "M\xC3\x9CLLER^J\xC3\x96RG", true, 0},
      {"UTF-8", "ISO-8859-1", "M\xC3\x9CLLER", "M\xDCLLER", true, 0},
      // DVOŘÁK^ŁUKASZ: Ř and Ł are not Latin-1, Á is.
      {"UTF-8", "ISO-8859-1", "DVO\xC5\x98\xC3\x81K^\xC5\x81UKASZ", "DVO?\xC1K^?UKASZ", true, 2},
      {"UTF-8", "ISO-8859-2", "DVO\xC5\x98\xC3\x81K^\xC5\x81UKASZ", "DVO\xD8\xC1K^\xA3UKASZ", true, 0},
      {"ISO-8859-2", "UTF-8", "DVO\xD8\xC1K", "DVO\xC5\x98\xC3\x81K", true, 0},
      // ΠΑΠΑΔΟΠΟΥΛΟΣ in Greek, and a Japanese name no single-byte set holds.
      {"UTF-8", "ISO-8859-7", "\xCE\xA0\xCE\x91\xCE\xA0", "\xD0\xC1\xD0", true, 0},
      {"UTF-8", "ISO-8859-5", "\xE5\xB1\xB1\xE7\x94\xB0", "??", true, 2},
      {"ISO-8859-1", "ISO-8859-5", "M\xDCLLER", "M?LLER", true, 1},
      {"ISO-8859-1", "ISO-8859-9", "M\xDCLLER", "M\xDCLLER", true, 0},
      {"ISO-8859-1", "ASCII", "CAF\xC9", "CAF?", true, 1},
      // Bytes the source set does not define are refused, never passed on.
      {"UTF-8", "ISO-8859-1", "M\xDCLLER", "", false, 0},
      {"UTF-8", "UTF-8", "M\xC3\x9CLLER", "M\xC3\x9CLLER", true, 0},  // the same set is copied as it is
      {"UTF-8", "UTF-8", "M\xDCLLER", "", false, 0},                 // once it is checked
      {"UTF-8", "ISO-8859-1", "ABC\xE5\xB1", "", false, 0},     // cut inside a character
      {"ASCII", "UTF-8", "CAF\xC9", "", false, 0},
      {"ISO-8859-7", "UTF-8", "\xAE", "", false, 0},
      {"ISO-8859-1", "UTF-8", "", "", true, 0},
  };
  for (const Conversion& c : cases) {
    Transcoder transcoder(c.From, c.To);
    std::string out = "previous value";
    const Transcoder::Outcome outcome = transcoder.Convert(c.In, out);
    EXPECT_EQ(outcome.Valid, c.Valid) << c.From << " -> " << c.To << ": " << c.In;
    EXPECT_EQ(outcome.Replaced, c.Replaced) << c.From << " -> " << c.To << ": " << c.In;
    EXPECT_EQ(out, c.Out) << c.From << " -> " << c.To << ": " << c.In;
  }
}

TEST(Transcoder, LongTextCrossesTheConversionBuffer) {
  std::string latin1, utf8;
  for (int i = 0; i < 3000; ++i) latin1 += "\xE9", utf8 += "\xC3\xA9";
  Transcoder toUtf8("ISO-8859-1", "UTF-8"), back("UTF-8", "ISO-8859-1");
  std::string out;
  ASSERT_TRUE(toUtf8.Convert(latin1, out).Valid);
  EXPECT_EQ(out, utf8);
  ASSERT_TRUE(back.Convert(utf8, out).Valid);
  EXPECT_EQ(out, latin1);
}

TEST(Transcoder, UnknownSetIsRefusedAtConstruction) {
  EXPECT_THROW(Transcoder("NO-SUCH-SET", "UTF-8"), std::runtime_error);
  EXPECT_THROW(Transcoder("UTF-8", "NO-SUCH-SET"), std::runtime_error);
}

TEST(CharsetNames, DicomTerms) {
  const struct {
    const char* Name;
    const char* Iconv;  // nullptr: not converted
  } cases[] = {
      {"ISO_IR 192", "UTF-8"},
      {"ISO_IR 100 ", "ISO-8859-1"},
      {"ISO_IR 126", "ISO-8859-7"},
      {"ISO_IR 148", "ISO-8859-9"},
      {"ISO_IR 6", "ASCII"},
      {"ISO 2022 IR 87", nullptr},  // code extensions are not converted
      {"iso_ir 100", nullptr},      // defined terms are upper case
      {"", nullptr},
  };
  for (const auto& c : cases) {
    const char* found = IconvNameOfDicomTerm(c.Name);
    if (c.Iconv == nullptr)
      EXPECT_EQ(found, nullptr) << c.Name;
    else
      EXPECT_STREQ(found, c.Iconv) << c.Name;
  }
}

}  // namespace

}  // namespace tarvelin
