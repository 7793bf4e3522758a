// Worklist requests whose sequences mix defined and undefined lengths at
// several levels, as modalities send them: the request is encoded, read the
// way the server reads it, answered from the database, and the encoded
// response is read back by dcmtk's dcmdump and compared line by line. The
// sequences the server keeps nothing of come back with zero items, each in
// the length encoding it came in.
#include <algorithm>
#include <fstream>
#include <sstream>

#include "dicom/bufdata.h"
#include "support/child_process.h"
#include "worklist/worklist_identifier.h"
#include "worklist/worklist_query.h"
#include "worklist/worklist_response.h"
#include "worklist/worklist_row.h"
#include "worklist_fixture.h"

namespace tarvelin {

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Len { Defined, Undefined };

std::unique_ptr<DcmObj> Dataset(std::vector<DcmTag> elements) {
  auto obj = std::make_unique<DcmObj>();
  for (DcmTag& t : elements) obj->Add(std::move(t));
  return obj;
}

// A sequence of one item holding `contents`; the encoder fills defined lengths.
std::unique_ptr<DcmObj> SequenceOfOne(Len sequence, Len item, std::unique_ptr<DcmObj> contents) {
  contents->Header.Length = item == Len::Undefined ? UndefinedLength : 0;
  auto seq = std::make_unique<DcmObj>();
  seq->AddSequence(0xFFFE, 0xE000, std::move(contents));
  seq->Header.Length = sequence == Len::Undefined ? UndefinedLength : 0;
  return seq;
}

// The case that put (0040,0275) inside the (0040,0100) item: an undefined
// sequence holding an undefined sequence, then a defined one at top level.
void ReproducedRequest(DcmObj& request) {
  request.Add(EmptyElement(0x0008, 0x0050));
  request.Add(EmptyElement(0x0010, 0x0010));
  auto step = Dataset({EmptyElement(0x0040, 0x0001)});
  step->AddSequence(0x0040, 0x0008, SequenceOfOne(Len::Undefined, Len::Undefined,
                                                  Dataset({EmptyElement(0x0008, 0x0100)})));
  step->Add(EmptyElement(0x0040, 0x0009));
  request.AddSequence(0x0040, 0x0100, SequenceOfOne(Len::Undefined, Len::Undefined, std::move(step)));
  request.AddSequence(0x0040, 0x0275, SequenceOfOne(Len::Defined, Len::Defined,
                                                    Dataset({EmptyElement(0x0040, 0x0007)})));
  request.Add(EmptyElement(0x0040, 0x1001));
}

const char* const kReproducedResponse = R"((0008,0005) CS [ISO_IR 100]
(0008,0050) SH [A100]
(0010,0010) PN [DOE^JOHN]
(0040,0100) SQ (Sequence with undefined length #=1)
  (fffe,e000) na (Item with undefined length #=3)
    (0040,0001) AE [CT01]
    (0040,0008) SQ (Sequence with undefined length #=0)
    (fffe,e0dd) na (SequenceDelimitationItem)
    (0040,0009) SH [SA100]
  (fffe,e00d) na (ItemDelimitationItem)
(fffe,e0dd) na (SequenceDelimitationItem)
(0040,0275) SQ (Sequence with explicit length #=0)
(fffe,e0dd) na (SequenceDelimitationItem for re-encod.)
(0040,1001) SH [R100]
)";

// A CT modality's query: defined and undefined lengths alternate over three
// levels of sequences, with an empty sequence among the return keys.
void ModalityRequest(DcmObj& request) {
  request.Add(EmptyElement(0x0008, 0x0050));
  request.AddSequence(0x0008, 0x1110, SequenceOfOne(Len::Undefined, Len::Undefined, Dataset({})));
  request.Add(EmptyElement(0x0010, 0x0010));
  request.Add(EmptyElement(0x0010, 0x0020));
  request.Add(EmptyElement(0x0020, 0x000D));
  request.Add(EmptyElement(0x0032, 0x1060));
  auto code = Dataset({DcmTag(0x0008, 0x0100, "X1"), EmptyElement(0x0008, 0x0104)});
  code->AddSequence(0x0008, 0x0121, SequenceOfOne(Len::Undefined, Len::Defined,
                                                  Dataset({DcmTag(0x0008, 0x0100, "RPID17")})));
  auto step = Dataset({DcmTag(0x0008, 0x0060, "CT"), EmptyElement(0x0040, 0x0001),
                       DcmTag(0x0040, 0x0002, "20240315"), EmptyElement(0x0040, 0x0003)});
  step->AddSequence(0x0040, 0x0008, SequenceOfOne(Len::Defined, Len::Undefined, std::move(code)));
  step->Add(EmptyElement(0x0040, 0x0009));
  step->Add(DcmTag(0x0040, 0x0010, "ROOM1"));
  request.AddSequence(0x0040, 0x0100, SequenceOfOne(Len::Defined, Len::Undefined, std::move(step)));
  request.Add(EmptyElement(0x0040, 0x1001));
}

const char* const kModalityResponse = R"((0008,0005) CS [ISO_IR 100]
(0008,0050) SH [A100]
(0008,1110) SQ (Sequence with undefined length #=0)
(fffe,e0dd) na (SequenceDelimitationItem)
(0010,0010) PN [DOE^JOHN]
(0010,0020) LO [PA100]
(0020,000d) UI [1.2.3.A100]
(0032,1060) LO [X1^Chest^L^CHEST PA]
(0040,0100) SQ (Sequence with explicit length #=1)
  (fffe,e000) na (Item with undefined length #=7)
    (0008,0060) CS [CT]
    (0040,0001) AE [CT01]
    (0040,0002) DA [20240315]
    (0040,0003) TM [0930]
    (0040,0008) SQ (Sequence with explicit length #=0)
    (fffe,e0dd) na (SequenceDelimitationItem for re-encod.)
    (0040,0009) SH [SA100]
    (0040,0010) SH [CT01]
  (fffe,e00d) na (ItemDelimitationItem)
(fffe,e0dd) na (SequenceDelimitationItem for re-encod.)
(0040,1001) SH [R100]
)";

struct Syntax {
  const char* Uid;
  bool Explicit;
  const char* DcmdumpOption;
};

const Syntax kSyntaxes[] = {{"1.2.840.10008.1.2", false, "-ti"}, {"1.2.840.10008.1.2.1", true, "-te"}};

// dcmdump's lines of a bare data set, without its comments.
std::vector<std::string> Dcmdump(const std::string& file, const Syntax& syntax) {
  const PeerResult r = RunPeer("dcmdump -q -f " + std::string(syntax.DcmdumpOption) + " " + ShellQuote(file));
  EXPECT_EQ(r.ExitCode, 0) << r.Output;
  std::vector<std::string> lines;
  std::istringstream in(r.Output);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    line = line.substr(0, line.find(" # "));
    line.erase(line.find_last_not_of(' ') + 1);
    lines.push_back(line);
  }
  return lines;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

Bytes Encode(DcmObj& obj) {
  BufData buf;
  buf.WriteObj(obj);
  return buf.Stream.Bytes;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

class SequenceLengths : public WorklistInstance {};

TEST_F(SequenceLengths, ResponsesReadByDcmdumpElementByElement) {
  WorklistDB entry = Entry("A100", "DOE^JOHN");
  entry.SPSDescription = "X1^Chest^L^CHEST PA";
  entry.RequestedProcedureID = "R100";
  Insert(entry);
  struct Case {
    const char* Name;
    void (*Build)(DcmObj&);
    const char* Expected;
    int UndefinedSequencesSent;
  };
  const Case cases[] = {{"reproduced", ReproducedRequest, kReproducedResponse, 2},
                        {"modality", ModalityRequest, kModalityResponse, 2}};
  for (const Case& c : cases) {
    for (const Syntax& syntax : kSyntaxes) {
      SCOPED_TRACE(std::string(c.Name) + " " + syntax.Uid);
      DcmObj sent;
      sent.ExplicitVR = syntax.Explicit;
      c.Build(sent);
      const std::string requestFile = folder_ + "request.dcm", responseFile = folder_ + "response.dcm";
      WriteFile(requestFile, Encode(sent));
      const std::vector<std::string> requestDump = Dcmdump(requestFile, syntax);
      EXPECT_EQ(std::count_if(requestDump.begin(), requestDump.end(),
                              [](const std::string& l) { return l.find("Sequence with undefined") != l.npos; }),
                c.UndefinedSequencesSent);

      // As the server reads, queries and answers it.
      DcmObj identifier;
      identifier.ExplicitVR = syntax.Explicit;
      identifier.TransferSyntax = syntax.Uid;
      const Bytes requestBytes = Encode(sent);
      BufData in(requestBytes.data(), requestBytes.size());
      ASSERT_TRUE(in.ReadOjb(identifier));
      std::vector<std::uint32_t> unsupported;
      ASSERT_FALSE(ShapeWorklistIdentifier(identifier, unsupported));
      TextRows rows;
      const WorklistQuery query = TranslateWorklistQuery(identifier, "");
      ASSERT_TRUE(WLQuery(query, rows));
      ASSERT_EQ(rows.Count(), 1u);
      identifier.Set(DcmTag(0x0008, 0x0005, "ISO_IR 100"));
      WorklistRow row(query.Columns);
      row.SetRow(rows, 0);
      DcmObj response;
      response.TransferSyntax = syntax.Uid;
      response.ExplicitVR = syntax.Explicit;
      CreateWLResponse(identifier, response, row);
      WriteFile(responseFile, Encode(response));
      EXPECT_EQ(Dcmdump(responseFile, syntax), Lines(c.Expected));
    }
  }
}

}  // namespace tarvelin
