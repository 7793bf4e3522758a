// The presentation context tables of docs/dicom-conformance.md against the
// running server: every SOP class the statement lists as SCP is accepted with
// exactly the transfer syntaxes of its list, the one chosen from several
// offered is the first of the list by the stated priority, and SOP classes
// and transfer syntaxes the statement leaves out are refused with the results
// it states (3 and 4).
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "docs/doc_text.h"
#include "net/net_test_support.h"
#include "support/running_tarvelin.h"

namespace tarvelin {

using namespace nettest;

namespace {

// A transfer syntax list of the statement, highest priority first.
using SyntaxList = std::vector<std::string>;

struct Statement {
  std::map<std::string, SyntaxList> lists;  // list name -> transfer syntaxes by priority
  std::map<std::string, std::string> scp;   // SOP class UID -> list name
};

bool IsUid(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789.") == std::string::npos;
}

// Rows "| List | Priority | Transfer syntax | `UID` |" give the lists; rows
// "| SOP class | `UID` | List X | SCP | ... |" the classes accepted as SCP.
Statement ReadStatement(const std::string& text) {
  Statement statement;
  std::map<std::string, std::map<int, std::string>> ranked;
  for (const TableRow& row : TableRows(text)) {
    if (row.size() >= 4 && row[0].size() == 1 && std::isupper(static_cast<unsigned char>(row[0][0])) &&
        !row[1].empty() && row[1].find_first_not_of("0123456789") == std::string::npos &&
        IsUid(Unquoted(row[3])))
      ranked[row[0]][std::stoi(row[1])] = Unquoted(row[3]);
    else if (row.size() >= 4 && IsUid(Unquoted(row[1])) && row[2].starts_with("List ") && row[3] == "SCP")
      statement.scp[Unquoted(row[1])] = row[2].substr(5);
  }
  for (const auto& [name, byRank] : ranked)
    for (const auto& [rank, uid] : byRank) statement.lists[name].push_back(uid);
  return statement;
}

// SOP classes a DICOM peer may plausibly propose to a worklist server, none of
// which the statement lists.
const std::vector<std::string> kOtherSopClasses = {
    "1.2.840.10008.1.20.1",           // Storage Commitment Push Model
    "1.2.840.10008.3.1.2.3.4",        // Modality Performed Procedure Step Retrieve
    "1.2.840.10008.3.1.2.3.5",        // Modality Performed Procedure Step Notification
    "1.2.840.10008.5.1.4.1.2.1.1",    // Patient Root Query/Retrieve - FIND
    "1.2.840.10008.5.1.4.1.2.1.2",    // Patient Root Query/Retrieve - MOVE
    "1.2.840.10008.5.1.4.1.2.2.1",    // Study Root Query/Retrieve - FIND
    "1.2.840.10008.5.1.4.1.2.2.2",    // Study Root Query/Retrieve - MOVE
    "1.2.840.10008.5.1.4.1.2.2.3",    // Study Root Query/Retrieve - GET
    "1.2.840.10008.5.1.4.1.1.2",      // CT Image Storage
    "1.2.840.10008.5.1.4.1.1.7",      // Secondary Capture Image Storage
    "1.2.840.10008.5.1.4.32.1",       // General Purpose Worklist - FIND (retired)
    "1.2.840.10008.5.1.4.33",         // Instance Availability Notification
    "1.2.840.10008.5.1.1.1",          // Basic Film Session
    "1.2.840.10008.5.1.4.1.1.66",     // Raw Data Storage
    "1.2.840.10008.5.1.4.1.1.66.4",   // Segmentation Storage
    "1.2.840.10008.5.1.4.1.1.481.2",  // RT Dose Storage
    "1.2.840.10008.5.1.4.1.1.4.2",    // MR Spectroscopy Storage
    "1.2.840.10008.5.1.4.1.1.130",    // Enhanced PET Image Storage
    "1.2.840.10008.5.1.4.1.1.104.2",  // Encapsulated CDA Storage
    "1.2.840.10008.5.1.4.31.1",       // a near miss of Modality Worklist - FIND
    "1.2.3.4.5.6.7",                  // not a DICOM UID at all
};

// Transfer syntaxes a peer may offer that no list holds.
const std::vector<std::string> kOtherSyntaxes = {
    "1.2.840.10008.1.2.2",       // Explicit VR Big Endian (retired)
    "1.2.840.10008.1.2.1.99",    // Deflated Explicit VR Little Endian
    "1.2.840.10008.1.2.4.51",    // JPEG Extended (Process 2 & 4)
    "1.2.840.10008.1.2.4.57",    // JPEG Lossless, Non-Hierarchical (Process 14)
    "1.2.840.10008.1.2.4.80",    // JPEG-LS Lossless
    "1.2.840.10008.1.2.4.201",   // High-Throughput JPEG 2000 (Lossless Only)
    "1.2.840.10008.1.2.4.101",   // MPEG2 Main Profile / High Level
};

// One proposed presentation context and what the statement says of it.
struct Proposal {
  std::string abstractSyntax;
  SyntaxList offered;
  std::string expected;  // the transfer syntax the server must choose; "" refused
  int refusal = 0;       // the result of a refused context: 3 unknown class, 4 no listed syntax
};

struct Answer {
  int result = -1;
  std::string syntax;
};

int Connect(int port) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// The presentation context items of an A-ASSOCIATE-AC, by context ID.
std::map<int, Answer> ContextAnswers(const std::vector<std::uint8_t>& pdu) {
  std::map<int, Answer> answers;
  for (std::size_t at = 74; at + 4 <= pdu.size();) {  // items follow the 74-byte fixed part
    const std::size_t length = BE16(pdu, at + 2);
    if (pdu[at] == 0x21 && length >= 4 && at + 4 + length <= pdu.size()) {
      Answer& answer = answers[pdu[at + 4]];
      answer.result = pdu[at + 6];
      const std::size_t sub = at + 8;
      if (sub + 4 <= at + 4 + length && pdu[sub] == 0x40) {
        std::string uid(pdu.begin() + static_cast<long>(sub + 4),
                        pdu.begin() + static_cast<long>(sub + 4 + BE16(pdu, sub + 2)));
        while (!uid.empty() && (uid.back() == '\0' || uid.back() == ' ')) uid.pop_back();
        answer.syntax = uid;
      }
    }
    at += 4 + length;
  }
  return answers;
}

// Proposes up to 128 contexts on one association and checks every answer.
void CheckAssociation(int port, const std::vector<Proposal>& proposals) {
  Bytes items;
  for (std::size_t i = 0; i < proposals.size(); ++i)
    items.append(RequestContext(static_cast<std::uint8_t>(2 * i + 1), proposals[i].abstractSyntax,
                                proposals[i].offered));
  items.append(UserInfoItem(MaxLengthSubItem(16384)));
  const int fd = Connect(port);
  ASSERT_GE(fd, 0);
  WriteAll(fd, AssociateRQ(items).data);
  const std::vector<std::uint8_t> ac = ReadPDU(fd);
  ASSERT_FALSE(ac.empty()) << "no answer to the A-ASSOCIATE-RQ";
  ASSERT_EQ(ac[0], 0x02) << "not an A-ASSOCIATE-AC";
  const std::map<int, Answer> answers = ContextAnswers(ac);
  EXPECT_EQ(answers.size(), proposals.size());
  for (std::size_t i = 0; i < proposals.size(); ++i) {
    const Proposal& p = proposals[i];
    const auto found = answers.find(static_cast<int>(2 * i + 1));
    ASSERT_NE(found, answers.end()) << "no answer for " << p.abstractSyntax;
    std::string offered;
    for (const std::string& ts : p.offered) offered += " " + ts;
    if (p.expected.empty()) {
      EXPECT_EQ(found->second.result, p.refusal) << p.abstractSyntax << " offered" << offered;
    } else {
      EXPECT_EQ(found->second.result, 0) << p.abstractSyntax << " refused with" << offered;
      EXPECT_EQ(found->second.syntax, p.expected) << p.abstractSyntax << " offered" << offered;
    }
  }
  // An association with an accepted context is released; the server closes
  // one without.
  WriteAll(fd, Bytes().u8(5).u8(0).u32(4).u32(0).data);
  ReadPDU(fd, 2000);
  close(fd);
}

}  // namespace

TEST(ConformanceStatement, PresentationContextTablesMatchTheServer) {
  const Statement statement = ReadStatement(ReadDocument("dicom-conformance.md"));
  // The three services the server exists for must be in the statement at all.
  for (const char* uid : {"1.2.840.10008.1.1", "1.2.840.10008.5.1.4.31", "1.2.840.10008.3.1.2.3.3"})
    ASSERT_TRUE(statement.scp.count(uid)) << uid << " is not in the statement's SCP tables";

  std::set<std::string> listed;
  for (const auto& [name, list] : statement.lists) listed.insert(list.begin(), list.end());
  std::vector<std::string> everySyntax(listed.begin(), listed.end());
  everySyntax.insert(everySyntax.end(), kOtherSyntaxes.begin(), kOtherSyntaxes.end());

  std::vector<Proposal> proposals;
  for (const auto& [sopClass, listName] : statement.scp) {
    ASSERT_TRUE(statement.lists.count(listName)) << sopClass << " names the missing list " << listName;
    const SyntaxList& list = statement.lists.at(listName);
    // Each transfer syntax on its own: accepted exactly when the list holds it.
    for (const std::string& ts : everySyntax) {
      const bool inList = std::find(list.begin(), list.end(), ts) != list.end();
      proposals.push_back({sopClass, {ts}, inList ? ts : "", 4});
    }
    // The choice: offered the list from rank k on, lowest priority first,
    // the server takes rank k.
    for (std::size_t k = 0; k < list.size(); ++k) {
      SyntaxList offered(list.rbegin(), list.rend() - static_cast<long>(k));
      proposals.push_back({sopClass, offered, list[k]});
    }
  }
  for (const std::string& sopClass : kOtherSopClasses) {
    ASSERT_FALSE(statement.scp.count(sopClass)) << sopClass << " is in the statement; update this test";
    proposals.push_back({sopClass, everySyntax, "", 3});
  }

  TarvelinInstance server("conformance");
  server.WriteIni();
  ASSERT_TRUE(server.Start());
  ASSERT_TRUE(server.WaitForLog("Initialize DICOM port: " + std::to_string(server.DicomPort()), 1, 10000))
      << server.Log() << server.Console();
  for (std::size_t from = 0; from < proposals.size(); from += 128) {
    const std::vector<Proposal> batch(proposals.begin() + static_cast<long>(from),
                                      proposals.begin() + static_cast<long>(std::min(from + 128, proposals.size())));
    CheckAssociation(server.DicomPort(), batch);
  }
}

}  // namespace tarvelin
