// The find client: the identifier it sends, and its queries against dcmtk's
// dcmqrscp as the PACS at all three levels, with the refusal and the
// maximum count.
#include "dimse/find_scu.h"

#include <gtest/gtest.h>

#include "dimse/query_identifier.h"
#include "support/dcmqrscp_pacs.h"
#include "support/free_port.h"
#include "support/log_file.h"

namespace tarvelin {

namespace {

TEST(FindIdentifier, StudyQueryAsksForEveryKeyAndFillsOnlyTheGivenOnes) {
  StudyInfo query;
  query.AccessionNumber = "A100";
  const DcmObj identifier = BuildQueryIdentifier(query);
  ASSERT_EQ(identifier.Count(), 14u);
  std::uint32_t previous = 0;
  for (const DcmEntry& entry : identifier.Entries) {
    const DcmTag& tag = *entry.Tag;
    const std::uint32_t number = std::uint32_t(tag.Group) << 16 | tag.Element;
    EXPECT_GT(number, previous) << "elements in tag order";
    previous = number;
    const bool filled = tag.Is(0x0008, 0x0050) || tag.Is(0x0008, 0x0052);
    EXPECT_EQ(tag.HasValue(), filled) << std::hex << tag.Group << "," << tag.Element;
  }
  EXPECT_EQ(identifier.GetString(0x0008, 0x0052), "STUDY");
  EXPECT_EQ(identifier.Find(0x0010, 0x4000)->VRText(), "LT");
  EXPECT_EQ(BuildQueryIdentifier(SeriesInfo{}).Find(0x0008, 0x0080)->VRText(), "CS");
  const DcmObj image = BuildQueryIdentifier(ImageInfo{});
  EXPECT_EQ(image.Count(), 13u);
  EXPECT_EQ(image.Find(0x0028, 0x0011)->VRText(), "US");
}

TEST(FindIdentifier, AnswersAreCutAndConvertedByTheirField) {
  LogCapture log;
  DcmObj answer;
  answer.Add(0x0008, 0x0050, "ACC4567890ABCDEFG");  // 17 characters
  answer.Add(0x0008, 0x0060, "MR");
  answer.Add(0x0010, 0x0010, std::string(70, 'N'));
  answer.Add(0x0020, 0x0010, "STUDY-ID-OF-20-CHARS");
  auto sequence = std::make_unique<DcmObj>();
  sequence->Add(0x0010, 0x0020, "INSIDE");
  answer.AddSequence(0x0008, 0x1110, std::move(sequence));
  StudyInfo study;
  FillFromIdentifier(study, answer);
  EXPECT_EQ(study.AccessionNumber, "ACC4567890ABCDEF");
  EXPECT_EQ(study.ModalitiesInStudy, "MR");
  EXPECT_EQ(study.PatientName, std::string(64, 'N'));
  EXPECT_EQ(study.StudyID, "STUDY-ID-OF-20-C");
  EXPECT_EQ(study.PatientID, "");
  EXPECT_TRUE(log.Contains("WARNING, Accession number length>16, ACC4567890ABCDEFG"));
  EXPECT_TRUE(log.Contains("WARNING, PatientName length>64, "));

  DcmObj image;
  image.Add(DcmTag::U16(0x0028, 0x0010, 512));
  image.Add(DcmTag(0x0028, 0x0011, "256", "IS"));
  image.Add(DcmTag(0x0028, 0x0101, "twelve", "CS"));
  ImageInfo info;
  FillFromIdentifier(info, image);
  EXPECT_EQ(info.Rows, 512);
  EXPECT_EQ(info.Columns, 256);
  EXPECT_EQ(info.BitsStored, 0);
  EXPECT_TRUE(log.Contains("WARNING, FindSCU, not a 16-bit number: twelve"));
}

class FindAgainstDcmqrscp : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    pacs = new DcmqrscpPacs({{"ACC1", "P1", "DOE^JOHN"}, {"ACC2", "P2", "ROE^JANE"}, {"ACC3", "P3", "ROE^JIM"},
                             {"ACC4", "P4", "POE^ANN"}, {"ACC5", "P5", "POE^BOB"},
                             {"ACC6", "P6", "M\xDCLLER^J\xD6RG", "ISO_IR 100"}});
  }
  static void TearDownTestSuite() { delete pacs; }
  void SetUp() override { ASSERT_EQ(pacs->Problem(), ""); }
  std::string Port() const { return std::to_string(pacs->Port()); }

  static DcmqrscpPacs* pacs;
  LogCapture log;
};
DcmqrscpPacs* FindAgainstDcmqrscp::pacs = nullptr;

TEST_F(FindAgainstDcmqrscp, StudyLevelMatchAndNoMatch) {
  std::vector<StudyInfo> studies(1);
  studies[0].AccessionNumber = "ACC2";
  ASSERT_TRUE(FindSCU("TARVELIN", "PACS", "127.0.0.1", Port(), studies, 20, "", "", 0)) << log.Text();
  ASSERT_EQ(studies.size(), 1u);
  EXPECT_EQ(studies[0].AccessionNumber, "ACC2");
  EXPECT_EQ(studies[0].StudyInstanceUID, DcmqrscpPacs::StudyUID(2));
  EXPECT_EQ(studies[0].PatientName, "ROE^JANE");
  EXPECT_EQ(studies[0].PatientID, "P2");

  std::vector<StudyInfo> none(1);
  none[0].AccessionNumber = "NOT-THERE";
  EXPECT_TRUE(FindSCU("TARVELIN", "PACS", "127.0.0.1", Port(), none, 20, "", "", 0));
  EXPECT_TRUE(none.empty());
  EXPECT_FALSE(log.Contains("ERROR")) << log.Text();
  EXPECT_FALSE(log.Contains("WARNING")) << log.Text();
}

TEST_F(FindAgainstDcmqrscp, SeriesAndImageLevels) {
  std::vector<SeriesInfo> series(1);
  series[0].StudyInstanceUID = DcmqrscpPacs::StudyUID(3);
  ASSERT_TRUE(FindSCU("TARVELIN", "PACS", "127.0.0.1", Port(), series, 20, "", "", 0)) << log.Text();
  ASSERT_EQ(series.size(), 1u);
  EXPECT_EQ(series[0].SeriesInstanceUID, DcmqrscpPacs::SeriesUID(3));
  EXPECT_EQ(series[0].Modality, "OT");
  EXPECT_EQ(series[0].SeriesNumber, "1");

  std::vector<ImageInfo> images(1);
  images[0].StudyInstanceUID = DcmqrscpPacs::StudyUID(3);
  images[0].SeriesInstanceUID = DcmqrscpPacs::SeriesUID(3);
  ASSERT_TRUE(FindSCU("TARVELIN", "PACS", "127.0.0.1", Port(), images, 20, "", "", 0)) << log.Text();
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].SOPInstanceUID, DcmqrscpPacs::ImageUID(3));
  EXPECT_EQ(images[0].InstanceNumber, "1");  // dcmqrscp answers only the keys of its index
}

TEST_F(FindAgainstDcmqrscp, MaximumStopsAfterOneMoreResponse) {
  std::vector<StudyInfo> studies(1);  // no keys: every study matches
  ASSERT_TRUE(FindSCU("TARVELIN", "PACS", "127.0.0.1", Port(), studies, 20, "", "", 2)) << log.Text();
  EXPECT_EQ(studies.size(), 3u);
  EXPECT_TRUE(log.Contains("WARNING, FindSCU, status=0000FF00")) << log.Text();

  // The archive is still there for the next caller.
  std::vector<StudyInfo> all(1);
  EXPECT_TRUE(FindSCU("TARVELIN", "PACS", "127.0.0.1", Port(), all, 20, "", "", 0));
  EXPECT_EQ(all.size(), 6u);
}

// The request names the set asked in; each answer is read in the set it
// names (dcmqrscp answers in the request's), so the record holds UTF-8.
TEST_F(FindAgainstDcmqrscp, AnswersAreReadInTheirCharacterSet) {
  for (const char* charset : {"ISO_IR 192", "ISO_IR 100", "ISO_IR 101"}) {
    std::vector<StudyInfo> studies(1);
    studies[0].AccessionNumber = "ACC6";
    ASSERT_TRUE(FindSCU("TARVELIN", "PACS", "127.0.0.1", Port(), studies, 20, "", "", 0, nullptr, charset))
        << log.Text();
    ASSERT_EQ(studies.size(), 1u) << charset;
    EXPECT_EQ(studies[0].PatientName, "M\xC3\x9CLLER^J\xC3\x96RG") << charset;
  }
  std::vector<StudyInfo> unknown(1);
  unknown[0].AccessionNumber = "ACC6";
  EXPECT_FALSE(FindSCU("TARVELIN", "PACS", "127.0.0.1", Port(), unknown, 20, "", "", 0, nullptr, "GB18030"));
  EXPECT_TRUE(log.Contains("ERROR, FindSCU, character set GB18030 not supported")) << log.Text();
  EXPECT_FALSE(log.Contains("WARNING, FindSCU, a response")) << log.Text();
}

TEST_F(FindAgainstDcmqrscp, RefusedOrUnreachablePeerLeavesTheQueryUntouched) {
  for (const auto& [calledAE, port] : {std::pair<std::string, std::string>{"STRICT", Port()},
                                       {"PACS", std::to_string(FreePort())}}) {
    std::vector<StudyInfo> studies(1);
    studies[0].AccessionNumber = "ACC1";
    EXPECT_FALSE(FindSCU("TARVELIN", calledAE, "127.0.0.1", port, studies, 20, "", "", 0)) << calledAE;
    ASSERT_EQ(studies.size(), 1u);
    EXPECT_EQ(studies[0].AccessionNumber, "ACC1");
  }
  EXPECT_EQ(CountOf(log.Text(), "ERROR, FindSCU, OpenAssoc failed"), 2) << log.Text();
  EXPECT_TRUE(log.Contains("ERROR, Association Rejected...")) << log.Text();
}

}  // namespace

}  // namespace tarvelin
