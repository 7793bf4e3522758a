// An instance made by an older release, which stored its text in 8 bits
// (the fixture in latin1_instance/, made by its make.sh with that release's
// own programs), upgraded in place by this tarvelin-setup: the database is
// kept as a copy, its text converted once, and the server then answers
// dcmtk's findscu with the same data set bytes the older server sent; a
// password hashed in 8 bits still logs in.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "support/child_process.h"
#include "support/running_tarvelin.h"

namespace tarvelin {

using ::testing::HasSubstr;
using ::testing::Not;
namespace fs = std::filesystem;

namespace {
const std::string Fixture = std::string(TARVELIN_SOURCE_DIR) + "/tests/setup/latin1_instance/";

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The data set of a file findscu wrote: what follows its meta header (whose
// group length stands at offset 140), which names a fresh UID every time.
std::string DataSetOf(const std::string& file) {
  if (file.size() < 144 || file.compare(128, 4, "DICM") != 0) return "";
  const auto byte = [&](std::size_t at) { return static_cast<std::size_t>(static_cast<unsigned char>(file[at])); };
  const std::size_t metaLength = byte(140) | byte(141) << 8 | byte(142) << 16 | byte(143) << 24;
  return 144 + metaLength <= file.size() ? file.substr(144 + metaLength) : "";
}

class Latin1Upgrade : public ::testing::Test {
 protected:
  TarvelinInstance server_{"latin1up"};

  PeerResult Setup(const std::string& args) const {
    return RunPeer(std::string(TARVELIN_BIN_DIR) + "/tarvelin-setup " + args);
  }
  std::string Database() const { return server_.Home() + "database/quillat.db"; }
  std::string Dump() const { return RunPeer("sqlite3 " + ShellQuote(Database()) + " .dump").Output; }

  // The answer's data set to the fixture's query for `accession` in `set`
  // ("none": no (0008,0005)).
  std::string Find(const std::string& accession, const std::string& set) const {
    const std::string dir = server_.Home() + accession + "-" + set + "/";
    fs::create_directories(dir);
    std::ofstream(dir + "query.txt") << (set == "none" ? "" : "(0008,0005) CS [ISO_IR " + set + "]") << "\n"
                                     << "(0008,0050) SH [" << accession << "]\n(0008,0090) PN []\n(0010,0010) PN []\n"
                                     << "(0040,0100) SQ (Sequence with explicit length #=1)\n"
                                     << "(fffe,e000) na (Item with explicit length #=1)\n(0040,0007) LO []\n"
                                     << "(fffe,e00d) na (ItemDelimitationItem)\n(fffe,e0dd) na (SequenceDelimitationItem)\n";
    EXPECT_EQ(RunPeer("dump2dcm " + ShellQuote(dir + "query.txt") + " " + ShellQuote(dir + "query.dcm")).ExitCode, 0);
    const PeerResult find = RunPeer("findscu -W -aet LATINCT -aec TARVELIN -X -od " + ShellQuote(dir) + " 127.0.0.1 " +
                                    std::to_string(server_.DicomPort()) + " " + ShellQuote(dir + "query.dcm"));
    EXPECT_EQ(find.ExitCode, 0) << find.Output;
    return DataSetOf(FileBytes(dir + "rsp0001.dcm"));
  }

  int LoginStatus(const std::string& user, const std::string& password) const {
    const PeerResult curl = RunPeer("curl -s -o /dev/null -w '%{http_code}' -u " + ShellQuote(user + ":" + password) +
                                    " http://127.0.0.1:" + std::to_string(server_.WebPort()) + "/index.htm");
    return std::atoi(curl.Output.c_str());
  }
};

TEST_F(Latin1Upgrade, ConvertsOnceKeepsACopyAndAnswersAsBefore) {
  ASSERT_EQ(server_.InitWithSetupTool("unused admin password"), "");
  fs::remove(Database());
  ASSERT_EQ(RunPeer("sqlite3 " + ShellQuote(Database()) + " < " + ShellQuote(Fixture + "quillat.sql")).ExitCode, 0);
  const std::string before = FileBytes(Database());

  const PeerResult first = Setup("upgrade " + ShellQuote(server_.Home()));
  ASSERT_EQ(first.ExitCode, 0) << first.Output;
  EXPECT_THAT(first.Output, HasSubstr("text stored as UTF-8"));
  EXPECT_THAT(first.Output, HasSubstr("database/quillat.db.before-upgrade"));
  std::vector<std::string> copies;
  for (const auto& file : fs::directory_iterator(server_.Home() + "database"))
    if (file.path().filename().string().starts_with("quillat.db.before-upgrade")) copies.push_back(file.path());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(FileBytes(copies[0]), before);  // the old file as it was

  const std::string converted = Dump();
  EXPECT_THAT(converted, HasSubstr("M\xC3\x9CLLER^J\xC3\x96RG"));
  EXPECT_THAT(converted, HasSubstr("DVO\xC5\x98\xC3\x81K^JI\xC5\x98\xC3\x8D"));  // no longer &#344;
  EXPECT_THAT(converted, Not(HasSubstr("&#")));
  const PeerResult second = Setup("upgrade " + ShellQuote(server_.Home()));
  ASSERT_EQ(second.ExitCode, 0) << second.Output;
  EXPECT_THAT(second.Output, Not(HasSubstr("text stored as UTF-8")));
  EXPECT_EQ(Dump(), converted);  // a second upgrade changes nothing

  ASSERT_TRUE(server_.Start()) << server_.Log();
  // Every answer the older server gave, byte for byte, but for the name it
  // had stored as the browser's references: now the characters, or "?".
  for (const std::string accession : {"L1", "L2", "L4"})
    for (const std::string set : {"none", "100", "192"}) {
      const std::string old = DataSetOf(FileBytes(Fixture + "answers/" + accession + "-" + set + ".dcm"));
      ASSERT_FALSE(old.empty()) << accession << " " << set;
      EXPECT_EQ(Find(accession, set), old) << accession << " " << set;
    }
  EXPECT_THAT(FileBytes(Fixture + "answers/L3-none.dcm"), HasSubstr("DVO&#344:\xC1K"));  // what it sent (";" answered as ":")
  EXPECT_THAT(Find("L3", "none"), HasSubstr("DVO?\xC1K^JI?\xCD"));
  EXPECT_THAT(Find("L3", "192"), HasSubstr("DVO\xC5\x98\xC3\x81K^JI\xC5\x98\xC3\x8D"));

  // müller's password was hashed as Windows-1252 bytes: typed as UTF-8 it
  // logs in, and is hashed as UTF-8 from then on.
  const std::string user = "m\xC3\xBCller", password = "P\xC3\xA4sswort-1";
  EXPECT_EQ(LoginStatus(user, "P?sswort-1"), 401);
  EXPECT_EQ(LoginStatus(user, password), 200);
  EXPECT_TRUE(server_.WaitForLog("INFO, User=" + user + ", password hash renewed as UTF-8", 1, 5000)) << server_.Log();
  EXPECT_EQ(LoginStatus(user, password), 200);
}
}  // namespace

}  // namespace tarvelin
