// Building worklist response identifiers from a request and one row.
#include "worklist/worklist_query.h"
#include "worklist/worklist_response.h"
#include "worklist/worklist_row.h"
#include "worklist_fixture.h"

namespace tarvelin {

namespace {

const DcmTag& TagAt(const DcmObj& obj, std::size_t i) { return *obj.Entries.at(i).Tag; }

TextRows RowOf(const std::vector<std::string>& values) {
  TextRows rows;
  rows.Reset(values.size());
  for (const std::string& value : values) rows.Add(value);
  return rows;
}

// The response for `request` from a row selected with `columns`.
DcmObj Respond(const DcmObj& request, const std::string& columns, const std::vector<std::string>& values) {
  const TextRows rows = RowOf(values);
  WorklistRow row(columns);
  row.SetRow(rows, 0);
  DcmObj response;
  CreateWLResponse(request, response, row);
  return response;
}

}  // namespace

TEST(WorklistRow, ValueOfTheFirstColumnOfThatNameTrimmed) {
  WorklistRow row("PatientName, SPSDescription, RequestedProcedureDescription, SPSDescription");
  const TextRows values = RowOf({" DOE^JOHN\t", "X1^Chest", "", "other"});
  row.SetRow(values, 0);
  EXPECT_EQ(row.Value("PatientName"), "DOE^JOHN");
  EXPECT_EQ(row.Value("SPSDescription"), "X1^Chest");
  EXPECT_EQ(row.Value("RequestedProcedureDescription"), "");
  EXPECT_EQ(row.Value("Modality"), "");
  WorklistRow all("*");
  const TextRows allValues = RowOf({"DOE", "CT"});
  all.SetRow(allValues, 0);
  EXPECT_EQ(all.Value("PatientName"), "");
}

TEST(WorklistResponse, MirrorsTheRequestFilledFromTheRow) {
  DcmObj request;
  request.Add(DcmTag::U32(0x0008, 0x0000, 30));  // group length: dropped
  request.Add(DcmTag(0x0008, 0x0005, "ISO_IR 192"));             // always answered Latin-1
  request.Add(EmptyElement(0x0008, 0x0050));
  request.Add(EmptyElement(0x0010, 0x0010));
  request.Add(EmptyElement(0x0010, 0x2000));                     // the stored alerts
  request.Add(DcmTag(0x0010, 0x21B0, "ASTHMA"));                 // nothing stored: zero length
  request.Add(DcmTag(0x0010, 0x2000, "LATEX"));                  // the stored alerts, not the request's
  request.Add(DcmTag(0x0040, 0x0010, "ROOM 4"));                 // column not selected: zero length
  const DcmObj response = Respond(request, "AccessionNumber, PatientName, MedicalAlerts",
                                  {"A100", "DOE^JOHN", "Penicillin"});
  ASSERT_EQ(response.Count(), 7u);
  EXPECT_EQ(TagAt(response, 0).GetString(), "ISO_IR 100");
  EXPECT_TRUE(TagAt(response, 1).Is(0x0008, 0x0050));
  EXPECT_EQ(TagAt(response, 1).GetString(), "A100");
  EXPECT_EQ(TagAt(response, 2).GetString(), "DOE^JOHN");
  EXPECT_EQ(TagAt(response, 2).VRText(), "PN");
  EXPECT_TRUE(TagAt(response, 3).Is(0x0010, 0x2000));
  EXPECT_EQ(TagAt(response, 3).GetString(), "Penicillin");
  EXPECT_EQ(TagAt(response, 4).Length, 0u);
  EXPECT_EQ(TagAt(response, 5).GetString(), "Penicillin");
  EXPECT_EQ(TagAt(response, 6).Length, 0u);
}

TEST(WorklistResponse, StepDescriptionTakesTheDisplayPart) {
  const std::string columns = "SPSDescription, SPSDescription, RequestedProcedureDescription";
  DcmObj request;
  request.Add(EmptyElement(0x0032, 0x1060));
  request.Add(EmptyElement(0x0040, 0x0007));
  auto answer = [&](const std::string& description, const std::string& requested) {
    const DcmObj r = Respond(request, columns, {description, description, requested});
    return std::make_pair(TagAt(r, 0).GetString(), TagAt(r, 1).GetString());
  };
  EXPECT_EQ(answer("X1^Chest^L^CHEST PA", ""), std::make_pair(std::string("X1^Chest^L^CHEST PA"), std::string("CHEST PA")));
  EXPECT_EQ(answer("X1^Chest", "Thorax"), std::make_pair(std::string("Thorax"), std::string("Chest")));
  EXPECT_EQ(answer("CHEST PA", ""), std::make_pair(std::string("CHEST PA"), std::string("CHEST PA")));
}

TEST(WorklistResponse, SequencesAreMirroredWithTheirLengthEncoding) {
  DcmObj request;
  request.Add(EmptyElement(0x0010, 0x0010));
  request.AddSequence(0x0040, 0x0100,
                      SequenceOf({EmptyElement(0x0040, 0x0001), EmptyElement(0x0040, 0x0002)}));
  request.AddSequence(0x0040, 0x0275, UndefinedLengths(SequenceOf({EmptyElement(0x0040, 0x0009)})));
  request.Add(EmptyElement(0x0040, 0x1001));
  const std::string columns = "PatientName, ScheduledStation, SPSDate, SPSID, RequestedProcedureID";
  const DcmObj response = Respond(request, columns, {"DOE^JOHN", "CT01", "20240315", "S7", "R9"});

  ASSERT_EQ(response.Count(), 4u);
  for (std::size_t i : {1, 2}) {
    ASSERT_TRUE(response.Entries[i].IsObj());
    const DcmObj& sequence = *response.Entries[i].Obj;
    ASSERT_EQ(sequence.Count(), 1u);
    EXPECT_TRUE(sequence.Entries[0].Obj->Header.Is(0xFFFE, 0xE000));
  }
  const DcmObj& defined = *response.Entries[1].Obj;
  EXPECT_TRUE(defined.Header.Is(0x0040, 0x0100));
  const DcmObj& item = *defined.Entries[0].Obj;
  EXPECT_EQ(TagAt(item, 0).GetString(), "CT01");
  EXPECT_EQ(TagAt(item, 1).GetString(), "20240315");
  const DcmObj& undefined = *response.Entries[2].Obj;
  EXPECT_TRUE(undefined.Header.Is(0x0040, 0x0275));
  EXPECT_EQ(undefined.Header.Length, UndefinedLength);
  EXPECT_EQ(undefined.Entries[0].Obj->Header.Length, UndefinedLength);
  EXPECT_EQ(TagAt(*undefined.Entries[0].Obj, 0).GetString(), "S7");
  EXPECT_EQ(TagAt(response, 3).GetString(), "R9");
}

// The rules the row text once imposed stay as modalities saw them: a ";" in a
// stored value answers as ":", blanks at the ends are dropped; a NULL column
// answers with zero length.
TEST_F(WorklistInstance, RowValuesAnswerAsTheRowTextGaveThem) {
  WorklistDB entry = Entry("A1", " DOE;JOHN ");
  entry.SPSDescription = "X1;A^Chest^L^CT;PA";
  Insert(entry);
  ExecSql("UPDATE Worklist SET PatientBD=NULL");
  DcmObj request;
  request.Add(EmptyElement(0x0008, 0x0050));
  request.Add(EmptyElement(0x0010, 0x0010));
  request.Add(EmptyElement(0x0010, 0x0030));
  request.Add(EmptyElement(0x0032, 0x1060));
  request.AddSequence(0x0040, 0x0100, SequenceOf({EmptyElement(0x0040, 0x0007)}));
  TextRows rows;
  const WorklistQuery query = TranslateWorklistQuery(request, "");
  ASSERT_TRUE(WLQuery(query, rows));
  ASSERT_EQ(rows.Count(), 1u);
  WorklistRow row(query.Columns);
  row.SetRow(rows, 0);
  DcmObj response;
  CreateWLResponse(request, response, row);
  ASSERT_EQ(response.Count(), 5u);
  EXPECT_EQ(TagAt(response, 0).GetString(), "A1");
  EXPECT_EQ(TagAt(response, 1).GetString(), "DOE:JOHN");
  EXPECT_EQ(TagAt(response, 2).Length, 0u);
  EXPECT_EQ(TagAt(response, 3).GetString(), "X1:A^Chest^L^CT:PA");
  EXPECT_EQ(TagAt(*response.Entries[4].Obj->Entries[0].Obj, 0).GetString(), "CT:PA");
  EXPECT_NE(Log().find("INFO, CreateWLResponse, Patient=DOE:JOHN\r\n"), std::string::npos);
}

}  // namespace tarvelin
