// The exact bytes of the command sets the server and the find client write.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "dicom/bufdata.h"
#include "dimse/cecho.h"
#include "dimse/cfind.h"
#include "dimse/command_set.h"
#include "dimse/nmessage.h"
#include "net/identifier.h"
#include "net/presentation_context.h"
#include "support/log_file.h"

namespace tarvelin {

namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string Verification = "1.2.840.10008.1.1";
const std::string ModalityWorklist = "1.2.840.10008.5.1.4.31";
const std::string StudyRootFind = "1.2.840.10008.5.1.4.1.2.2.1";
const std::string MPPS = "1.2.840.10008.3.1.2.3.3";

Bytes Encode(DcmObj& obj) {
  BufData codec;
  codec.WriteObj(obj);
  return codec.Stream.Bytes;
}

Bytes US(std::uint16_t value) { return {std::uint8_t(value), std::uint8_t(value >> 8)}; }

Bytes UL(std::uint32_t value) {
  return {std::uint8_t(value), std::uint8_t(value >> 8), std::uint8_t(value >> 16),
          std::uint8_t(value >> 24)};
}

Bytes UI(const std::string& uid) {
  Bytes value(uid.begin(), uid.end());
  if (value.size() % 2) value.push_back(0x00);
  return value;
}

// One implicit VR little endian element of group 0000.
Bytes Element(std::uint16_t element, const Bytes& value) {
  Bytes bytes{0x00, 0x00, std::uint8_t(element), std::uint8_t(element >> 8)};
  Bytes length = UL(static_cast<std::uint32_t>(value.size()));
  bytes.insert(bytes.end(), length.begin(), length.end());
  bytes.insert(bytes.end(), value.begin(), value.end());
  return bytes;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

DcmObj Request(std::uint16_t commandField, const std::string& sopClass, std::uint16_t messageID,
               std::uint16_t dataSetType) {
  std::vector<DcmTag> elements;
  if (!sopClass.empty()) elements.push_back(CommandUID(0x0002, sopClass));
  elements.push_back(CommandUS(0x0100, commandField));
  elements.push_back(CommandUS(0x0110, messageID));
  elements.push_back(CommandUS(0x0800, dataSetType));
  return MakeCommandSet(std::move(elements));
}

TEST(CommandSet, EchoResponseEchoesTheRequest) {
  DcmObj request = Request(0x0030, Verification, 0x1234, 0x0101);
  ASSERT_TRUE(CEcho().ReadRQ(request));
  DcmObj response = CEcho::BuildRSP(request);
  EXPECT_EQ(Encode(response), Concat({Element(0x0000, UL(66)),
                                      Element(0x0002, UI(Verification)),
                                      Element(0x0100, US(0x8030)), Element(0x0120, US(0x1234)),
                                      Element(0x0800, US(0x0101)), Element(0x0900, US(0x0000))}));
  // The UID is padded to 18 bytes with a zero byte.
  EXPECT_EQ(UI(Verification).size(), 18u);
  EXPECT_EQ(UI(Verification).back(), 0x00);
}

TEST(CommandSet, EchoWithoutSOPClassGetsNoResponse) {
  DcmObj request = Request(0x0030, "", 5, 0x0101);
  EXPECT_TRUE(CEcho().ReadRQ(request));
  EXPECT_EQ(CEcho::BuildRSP(request).Count(), 0u);
  DcmObj find = Request(0x0020, Verification, 5, 0x0101);
  EXPECT_FALSE(CEcho().ReadRQ(find));
}

TEST(CommandSet, FindResponsesPendingAndFinal) {
  DcmObj pending = CFind::BuildRSP(ModalityWorklist, 7, true, 0xFF00);
  EXPECT_EQ(Encode(pending), Concat({Element(0x0000, UL(70)),
                                     Element(0x0002, UI(ModalityWorklist)),
                                     Element(0x0100, US(0x8020)), Element(0x0120, US(7)),
                                     Element(0x0800, US(0x0102)), Element(0x0900, US(0xFF00))}));
  DcmObj final = CFind::BuildRSP(ModalityWorklist, 7, false, 0x0000);
  EXPECT_EQ(Encode(final), Concat({Element(0x0000, UL(70)),
                                   Element(0x0002, UI(ModalityWorklist)),
                                   Element(0x0100, US(0x8020)), Element(0x0120, US(7)),
                                   Element(0x0800, US(0x0101)), Element(0x0900, US(0x0000))}));
  // A 27-character SOP class is padded to 28 bytes.
  DcmObj study = CFind::BuildRSP(StudyRootFind, 1, false, 0);
  EXPECT_EQ(Bytes(study.Entry(0).Tag->Data), UL(76));
}

TEST(CommandSet, FindRequestTakesAnOddMessageIDFromTheSharedCounter) {
  ResetIdentifierCounter();
  PresentationContext context;  // numbered 1
  EXPECT_EQ(context.PresentationContextID, 1);
  DcmObj request = CFind::BuildRQ(StudyRootFind, CFind::NewMessageID());
  EXPECT_EQ(Encode(request), Concat({Element(0x0000, UL(76)),
                                     Element(0x0002, UI(StudyRootFind)),
                                     Element(0x0100, US(0x0020)), Element(0x0110, US(3)),
                                     Element(0x0700, US(0x0000)), Element(0x0800, US(0x0102))}));
  EXPECT_EQ(CFind::NewMessageID(), 5);
}

TEST(CommandSet, FindRequestChecksAreLogged) {
  LogCapture log;
  CFind find;
  DcmObj empty;
  EXPECT_FALSE(find.ReadRQ(nullptr, empty, nullptr));
  DcmObj echo = Request(0x0030, ModalityWorklist, 1, 0x0102);
  EXPECT_FALSE(find.ReadRQ(nullptr, echo, nullptr));
  DcmObj noData = Request(0x0020, ModalityWorklist, 1, 0x0101);
  EXPECT_FALSE(find.ReadRQ(nullptr, noData, nullptr));
  DcmObj good = Request(0x0020, ModalityWorklist, 1, 0x0102);
  EXPECT_TRUE(find.ReadRQ(nullptr, good, nullptr));

  DcmObj identifier;
  EXPECT_FALSE(find.WriteRQ(nullptr, identifier, ModalityWorklist));
  EXPECT_FALSE(find.WriteRSP(nullptr, &good, nullptr, 0));
  EXPECT_EQ(find.ReadRSP(nullptr, identifier), -1);

  const std::string text = log.Text();
  EXPECT_NE(text.find(", ERROR, CFind::ReadRQ, DCO->Count() is zero\r\n"), std::string::npos);
  EXPECT_NE(text.find(", ERROR, CFind::ReadRQ, DCO is not C-Find\r\n"), std::string::npos);
  EXPECT_NE(text.find(", ERROR, CFind::ReadRQ, DCO with no data section\r\n"), std::string::npos);
  EXPECT_NE(text.find(", ERROR, CFind::WriteRQ, PDU is NULL\r\n"), std::string::npos);
  EXPECT_NE(text.find(", ERROR, CFind::WriteRSP, PDU==NULL\r\n"), std::string::npos);
  EXPECT_NE(text.find(", ERROR, CFind::ReadRSP, PDU->Read Failed!\r\n"), std::string::npos);
}

TEST(CommandSet, ProcedureStepResponses) {
  const std::string instance = "1.2.826.0.1.3680043.2.1125.1.12345678901";  // 40 characters
  ASSERT_EQ(instance.size(), 40u);
  DcmObj request = Request(0x0140, MPPS, 9, 0x0102);

  NCreate create;
  DcmObj withInstance = create.BuildRSP(request, true, instance, MPPS, 0x0000);
  EXPECT_EQ(Encode(withInstance),
            Concat({Element(0x0000, UL(120)), Element(0x0002, UI(MPPS)),
                    Element(0x0100, US(0x8140)), Element(0x0120, US(9)),
                    Element(0x0800, US(0x0102)), Element(0x0900, US(0x0000)),
                    Element(0x1000, UI(instance))}));
  EXPECT_EQ(create.Record.CommandField, 0x8140);
  EXPECT_EQ(create.Record.MessageID, 9);

  DcmObj withoutInstance = create.BuildRSP(request, false, "", MPPS, 0x0100);
  EXPECT_EQ(Encode(withoutInstance),
            Concat({Element(0x0000, UL(72)), Element(0x0002, UI(MPPS)),
                    Element(0x0100, US(0x8140)), Element(0x0120, US(9)),
                    Element(0x0800, US(0x0101)), Element(0x0900, US(0x0100))}));

  NSet set;
  DcmObj setResponse = set.BuildRSP(Request(0x0120, "", 11, 0x0102), false, instance, MPPS, 0x0101);
  EXPECT_EQ(setResponse.GetUS(0x0000, 0x0100), 0x8120);
  EXPECT_EQ(setResponse.GetUS(0x0000, 0x0120), 11);
  EXPECT_EQ(setResponse.GetUS(0x0000, 0x0800), 0x0101);
  EXPECT_EQ(setResponse.GetUS(0x0000, 0x0900), 0x0101);
  EXPECT_EQ(setResponse.GetString(0x0000, 0x1000), instance);
}

TEST(CommandSet, ProcedureStepRequestsAreCheckedByCommandField) {
  DcmObj setRequest = Request(0x0120, MPPS, 3, 0x0101);
  DcmObj createRequest = Request(0x0140, MPPS, 3, 0x0101);
  DcmObj empty;
  NSet set;
  NCreate create;
  EXPECT_TRUE(set.ReadRQ(nullptr, setRequest, nullptr));
  EXPECT_EQ(set.Record.CommandField, 0x0120);
  EXPECT_EQ(set.Record.DataSetType, 0x0101);
  EXPECT_FALSE(set.ReadRQ(nullptr, createRequest, nullptr));
  EXPECT_FALSE(set.ReadRQ(nullptr, empty, nullptr));
  EXPECT_TRUE(create.ReadRQ(nullptr, createRequest, nullptr));
  EXPECT_FALSE(create.ReadRQ(nullptr, setRequest, nullptr));
}

}  // namespace

}  // namespace tarvelin
