// The text helpers and widgets of the pages, case by case.
#include <gtest/gtest.h>

#include <cstdlib>

#include "service/text.h"
#include "support/log_file.h"
#include "support/pinned_clock.h"
#include "web/command_get.h"
#include "web/date_display.h"
#include "web/form_widgets.h"
#include "web/page_table.h"
#include "web/request_params.h"

namespace tarvelin {

namespace {
// Sets LC_ALL for one test (the converters read the locale's territory).
class LocaleTerritory {
 public:
  explicit LocaleTerritory(const char* locale) {
    if (const char* old = std::getenv("LC_ALL")) old_ = old;
    setenv("LC_ALL", locale, 1);
  }
  ~LocaleTerritory() { old_.empty() ? unsetenv("LC_ALL") : setenv("LC_ALL", old_.c_str(), 1); }

 private:
  std::string old_;
};

// The options marked selected, in order.
std::vector<std::string> Selected(const std::string& html) {
  const std::string mark = "<option selected>";
  std::vector<std::string> values;
  for (auto at = html.find(mark); at != std::string::npos; at = html.find(mark, at + 1))
    values.push_back(html.substr(at + mark.size(), html.find('<', at + mark.size()) - at - mark.size()));
  return values;
}

TEST(PagePieces, ReplaceAllNeverSearchesInsertedText) {
  EXPECT_EQ(ReplaceAll("a/b/c", "/", "\\"), "a\\b\\c");
  EXPECT_EQ(ReplaceAll("aaa", "a", "aa"), "aaaaaa");
  EXPECT_EQ(ReplaceAll("abab", "ab", ""), "");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
}

TEST(PagePieces, SplitParamsDecodesByCharset) {
  struct Case {
    const char* text;
    const char* charset;
    std::vector<std::string> list;
  } cases[] = {
      {"a=1&&b=2", "", {"a=1"}},  // an empty piece ends the list
      {"", "", {}},
      {"n=J%C3%B6rg&x=%u00e9+y&p=100%", "", {"n=J\xC3\xB6rg", "x=\xC3\xA9+y", "p=100%"}},
      {"n=%F6%80", "", {"n=\xC3\xB6\xE2\x82\xAC"}},  // not UTF-8: read as Windows-1252
      {"n=J\xC3\xB6rg%41", "UTF-8", {"n=J\xC3\xB6rg%41"}},
      {"n=%41\xF6", "ISO-8859-1", {"n=%41\xC3\xB6"}},
      {"n=\xF6", "UTF-8", {}},  // not valid in its declared set: refused
      {"n=1", "x-unknown", {}},
  };
  for (const Case& c : cases) {
    ParamList list{"stale=1"};
    EXPECT_EQ(SplitParams(list, c.text, c.charset), !c.list.empty() || *c.text == 0) << c.text;
    EXPECT_EQ(list, c.list) << c.text;
  }
  EXPECT_EQ(FirstParam({"Offset=5", "Offset=7", "x=a=b"}, "Offset"), "5");
  EXPECT_EQ(ParamValue("x=a=b"), "a=b");
  EXPECT_EQ(ParamValue("x"), "");
}

TEST(PagePieces, DocumentsAreNormalisedAndPrivatePartsRefused) {
  EXPECT_EQ(NormaliseDocument("/"), "index.htm");
  EXPECT_EQ(NormaliseDocument(""), "index.htm");
  EXPECT_EQ(NormaliseDocument("\\"), "index.htm");
  EXPECT_EQ(NormaliseDocument("//index.htm"), "/index.htm");  // only one "/" goes: a file, and absolute
  EXPECT_EQ(NormaliseDocument("/javascript/style.css"), "javascript/style.css");
  EXPECT_NE(FindPage("worklist", 0), nullptr);
  EXPECT_EQ(FindPage("INDEX.HTM", 1), nullptr);  // exact names only

  const std::pair<const char*, bool> documents[] = {
      {"javascript/style.css", true},   {"index.htm", true},          {"notes/readme.txt", true},
      {"/index.htm", false},            {"/etc/passwd", false},       {"../database/quillat.db", false},
      {"javascript/../TRVGUI.ini", false}, {"./TRVGUI.ini", false}, {"a//b", false},
      {"database/quillat.db", false},   {"logs/20240101_tarvelin.log", false}, {"HL7in/order.hl7", false},
      {"HL7out/order.txt", false},      {"TRVGUI.ini", false},        {"trvgui.INI", false},
      {"wlfilter.txt", false},          {"Database/quillat.db", false}, {"..", false},
  };
  for (const auto& [document, servable] : documents) EXPECT_EQ(IsPublicDocument(document), servable) << document;
}

TEST(PagePieces, DatesShowAsIsoAndTypedDatesFollowTheLocaleTerritory) {
  {
    LocaleTerritory us("en_US.UTF-8");
    EXPECT_EQ(DicomDateToDisplay("20240315"), "2024-03-15");
    EXPECT_EQ(DisplayDateToDicom("03/15/2024"), "20240315");
    EXPECT_EQ(DisplayDateToDicom("2024-03-15"), "20240315");
  }
  LocaleTerritory de("de_DE.UTF-8");
  EXPECT_EQ(DicomDateToDisplay("20240315"), "2024-03-15");
  EXPECT_EQ(DicomDateToDisplay("2024031"), "2024031");  // not a date: shown as stored
  EXPECT_EQ(DisplayDateToDicom("15/03/2024"), "20240315");
  EXPECT_EQ(DisplayDateToDicom("2024-03-15"), "20240315");
  EXPECT_EQ(DisplayDateToDicom("2024-3-15"), "20243-5");  // short forms are not repaired
  EXPECT_EQ(DisplayDateToDicom("15/3"), "315");
  EXPECT_EQ(DicomDateToDisplay(""), "");
  EXPECT_EQ(DisplayDateToDicom(""), "");
  EXPECT_EQ(DicomTimeToDisplay("1430"), "14:30");
  EXPECT_EQ(DicomTimeToDisplay("143000"), "14:30");
  EXPECT_EQ(DicomTimeToDisplay("1"), "1:");
  EXPECT_EQ(DicomTimeToDisplay(""), "");
}

TEST(PagePieces, SelectorsMarkTheirValue) {
  PinnedClock at(2024, 3, 15, 0, 5, 0);
  EXPECT_EQ(Selected(TimeSelect("")), (std::vector<std::string>{"00", "00"}));
  EXPECT_EQ(Selected(TimeSelect("14:37")), (std::vector<std::string>{"14", "30"}));
  EXPECT_EQ(Selected(TimeSelect("xx:59")), (std::vector<std::string>{"00", "50"}));
  EXPECT_EQ(CountOf(TimeSelect(""), "<option"), 24 + 6);
  EXPECT_EQ(Selected(ModalitySelect("MR")), (std::vector<std::string>{"MR"}));
  EXPECT_EQ(Selected(ModalitySelect("")), std::vector<std::string>{});  // nothing chosen: the empty choice
  EXPECT_EQ(CountOf(ModalitySelect(""), "<option"), 1 + 12);
  // The edit form keeps what is stored: a minute off the ten-step, a code outside the list.
  EXPECT_EQ(Selected(TimeSelect("14:37", true)), (std::vector<std::string>{"14", "37"}));
  EXPECT_EQ(CountOf(TimeSelect("14:37", true), "<option"), 24 + 7);
  EXPECT_EQ(Selected(TimeSelect("14:30", true)), (std::vector<std::string>{"14", "30"}));
  EXPECT_EQ(Selected(ModalitySelect("S<C")), (std::vector<std::string>{"S&lt;C"}));
  EXPECT_EQ(CountOf(ModalitySelect("CT"), "<option"), 1 + 12);
}
}  // namespace

}  // namespace tarvelin
