// The worked example of docs/hl7-interface.md against the running server:
// the message is sent as the document shows (with Debian's mllp_send), and
// the stored worklist row and the acknowledgement must be the document's.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "docs/doc_text.h"
#include "hl7/hl7_test_support.h"
#include "support/child_process.h"

namespace tarvelin {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::istringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  if (!text.empty() && text.back() == separator) parts.push_back("");
  return parts;
}

// True when `text` is `least` to `most` decimal digits.
bool Digits(const std::string& text, std::size_t least, std::size_t most) {
  return text.size() >= least && text.size() <= most && text.find_first_not_of("0123456789") == std::string::npos;
}

// The segments of what mllp_send printed (CR or LF between them, and the
// MLLP end block it passes through), blank lines dropped.
std::vector<std::string> Segments(const std::string& printed) {
  std::vector<std::string> segments;
  std::string line;
  for (char c : printed + "\n") {
    if (c == '\x0b' || c == '\x1c') continue;
    if (c != '\r' && c != '\n') {
      line += c;
    } else if (!line.empty()) {
      segments.push_back(line);
      line.clear();
    }
  }
  return segments;
}

}  // namespace

TEST(HL7InterfaceDocument, WorkedExampleGivesTheDocumentedRowAndAck) {
  const std::string doc = ReadDocument("hl7-interface.md");
  const std::vector<std::string> message = MarkedCodeBlock(doc, "worked-example-message");
  const std::vector<TableRow> entry = MarkedTable(doc, "worked-example-entry");
  const std::vector<std::string> ack = MarkedCodeBlock(doc, "worked-example-ack");
  ASSERT_FALSE(message.empty());
  ASSERT_GT(entry.size(), 1u);
  ASSERT_EQ(ack.size(), 2u) << "the documented ACK has an MSH and an MSA segment";

  RunningTarvelin server;
  ASSERT_EQ(server.Problem(), "");
  std::string framed = "\x0b";
  for (const std::string& segment : message) framed += segment + "\r";
  framed += "\x1c\r";
  const std::string file = server.Home() + "order.hl7";
  std::ofstream(file, std::ios::binary) << framed;
  ChildProcess sender("/usr/bin/mllp_send", {"-p", std::to_string(server.HL7Port()), "-f", file, "localhost"});
  ASSERT_TRUE(sender.Started());
  ASSERT_EQ(RunToEnd(sender), 0) << sender.Errors();
  ASSERT_EQ(sender.Errors(), "");

  // The acknowledgement: every field as documented but MSH-7 (the time of the
  // answer) and MSH-10 (yymmddhhnn and a counter), which are checked by form.
  const std::vector<std::string> answer = Segments(sender.Output());
  ASSERT_EQ(answer.size(), ack.size()) << sender.Output();
  for (std::size_t s = 0; s < ack.size(); ++s) {
    const std::vector<std::string> want = Split(ack[s], '|');
    const std::vector<std::string> got = Split(answer[s], '|');
    ASSERT_EQ(got.size(), want.size()) << answer[s];
    for (std::size_t f = 0; f < want.size(); ++f) {
      if (s == 0 && f == 6) EXPECT_TRUE(Digits(got[f], 14, 14)) << got[f];
      else if (s == 0 && f == 9) EXPECT_TRUE(Digits(got[f], 11, 13)) << got[f];
      else EXPECT_EQ(got[f], want[f]) << "segment " << s + 1 << ", field " << f;
    }
  }

  // The row: every column of the Worklist table is in the document's table.
  std::string columns;
  std::string documented;
  std::string accession;
  for (std::size_t r = 1; r < entry.size(); ++r) {
    ASSERT_EQ(entry[r].size(), 2u);
    columns += (columns.empty() ? "" : ", ") + Unquoted(entry[r][0]);
    documented += (documented.empty() ? "" : "|") + Unquoted(entry[r][1]);
    if (Unquoted(entry[r][0]) == "AccessionNumber") accession = Unquoted(entry[r][1]);
  }
  EXPECT_EQ(server.Sql("SELECT COUNT(*) FROM pragma_table_info('Worklist')"),
            std::to_string(entry.size() - 1) + "\n");
  EXPECT_EQ(server.Sql("SELECT " + columns + " FROM Worklist WHERE AccessionNumber='" + accession + "'"),
            documented + "\n");
}

}  // namespace tarvelin
