// Datasets written by an independent encoder (dcmtk's dump2dcm, as bare data
// sets without file meta information) decode to the expected elements and
// re-encode to the same bytes.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "dicom_test_support.h"

namespace tarvelin {

namespace {

const char* const kDump = R"((0008,0005) CS [ISO_IR 100]
(0008,0050) SH [ACC12345]
(0010,0010) PN [DOE^JOHN]
(0010,1030) DS [72.5]
(0018,9306) FD 2.5
(0028,0010) US 512
(0028,0106) SS -2
(0040,0100) SQ (Sequence with undefined length)
  (fffe,e000) na (Item with undefined length)
    (0008,0060) CS [CT]
    (0040,0001) AE [CT01]
    (0040,0002) DA [20240305]
    (0040,0008) SQ (Sequence with undefined length)
      (fffe,e000) na (Item with undefined length)
        (0008,0100) SH [P1]
      (fffe,e00d) na (ItemDelimitationItem)
    (fffe,e0dd) na (SequenceDelimitationItem)
  (fffe,e00d) na (ItemDelimitationItem)
(fffe,e0dd) na (SequenceDelimitationItem)
(0040,1001) SH [RP001]
)";

struct Variant {
  const char* Option;  // dump2dcm output transfer syntax
  bool Explicit;
  bool Big;
  const char* TransferSyntax;
};

const Variant kVariants[] = {{"+ti", false, false, "1.2.840.10008.1.2"},
                             {"+te", true, false, "1.2.840.10008.1.2.1"},
                             {"+tb", true, true, "1.2.840.10008.1.2.2"}};

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/dicom_dump2dcm_XXXXXX";
    if (mkdtemp(pattern)) path_ = pattern;
  }
  ~TempDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs dump2dcm and returns the bare data set it wrote.
Bytes WriteWithDcmtk(const std::string& dir, const std::string& options) {
  const std::string dump = dir + "/in.dump", out = dir + "/out.dcm";
  std::ofstream(dump) << kDump;
  const std::string command = "dump2dcm -F " + options + " '" + dump + "' '" + out + "' 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command << " (is dcmtk installed?)";
  std::ifstream in(out, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

double FD(const DcmTag& tag) {
  std::uint8_t b[8];
  for (int i = 0; i < 8; ++i) b[i] = tag.Data[tag.BigEndian ? 7 - i : i];
  double value;
  std::memcpy(&value, b, sizeof value);
  return value;
}

void ExpectTopLevel(const DcmObj& obj) {
  EXPECT_EQ(obj.GetString(0x0008, 0x0005), "ISO_IR 100");
  EXPECT_EQ(obj.GetString(0x0008, 0x0050), "ACC12345");
  EXPECT_EQ(obj.GetString(0x0010, 0x0010), "DOE^JOHN");
  EXPECT_EQ(obj.GetString(0x0010, 0x1030), "72.5");
  EXPECT_EQ(obj.GetUS(0x0028, 0x0010), 512);
  EXPECT_EQ(obj.GetUS(0x0028, 0x0106), 0xFFFE);
  EXPECT_EQ(obj.GetString(0x0040, 0x1001), "RP001");
  const DcmTag* width = obj.Find(0x0018, 0x9306);
  ASSERT_NE(width, nullptr);
  ASSERT_EQ(width->Length, 8u);
  EXPECT_EQ(FD(*width), 2.5);
}

std::string Tags(const DcmObj& obj) {
  std::string text;
  for (const DcmEntry& entry : obj.Entries) {
    char tag[16];
    std::snprintf(tag, sizeof tag, "%04X%04X%s ", entry.HeaderTag().Group,
                  entry.HeaderTag().Element, entry.IsObj() ? "+" : "");
    text += tag;
  }
  return text;
}

// Has dump2dcm write the dump in the variant's transfer syntax with the given
// sequence length option, and decodes the result.
void WriteAndDecode(const Variant& v, const char* lengths, Bytes& bytes, DcmObj& obj) {
  TempDir dir;
  ASSERT_FALSE(dir.path().empty());
  bytes = WriteWithDcmtk(dir.path(), std::string(v.Option) + " " + lengths);
  ASSERT_FALSE(bytes.empty());
  obj.ExplicitVR = v.Explicit;
  obj.TransferSyntax = v.TransferSyntax;
  ASSERT_TRUE(Decode(bytes, obj, v.Big));
  ExpectTopLevel(obj);
}

}  // namespace

TEST(DcmtkCrossCheck, DefinedLengthSequencesDecodeNested) {
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.Option);
    Bytes bytes;
    DcmObj obj;
    WriteAndDecode(v, "+e", bytes, obj);
    if (HasFatalFailure()) return;
    EXPECT_EQ(Tags(obj), "00080005 00080050 00100010 00101030 00189306 00280010 00280106 "
                         "00400100+ 00401001 ");
    const DcmObj& seq = *obj.Entry(7).Obj;
    EXPECT_EQ(seq.Header.VRText(), "SQ");
    EXPECT_EQ(Tags(seq), "FFFEE000+ ");
    const DcmObj& item = *seq.Entry(0).Obj;
    EXPECT_EQ(Tags(item), "00080060 00400001 00400002 00400008+ ");
    EXPECT_EQ(item.GetString(0x0040, 0x0001), "CT01");
    EXPECT_EQ(item.GetString(0x0040, 0x0002), "20240305");
    EXPECT_EQ(item.Entry(3).Obj->Entry(0).Obj->GetString(0x0008, 0x0100), "P1");
    EXPECT_EQ(Encode(obj), bytes);
  }
}

TEST(DcmtkCrossCheck, UndefinedLengthSequencesDecodeNested) {
  for (const Variant& v : kVariants) {
    SCOPED_TRACE(v.Option);
    Bytes bytes;
    DcmObj obj;
    WriteAndDecode(v, "-e", bytes, obj);
    if (HasFatalFailure()) return;
    EXPECT_EQ(Tags(obj), "00080005 00080050 00100010 00101030 00189306 00280010 00280106 "
                         "00400100+ 00401001 ");
    const DcmObj& seq = *obj.Entry(7).Obj;
    EXPECT_EQ(seq.Header.Length, UndefinedLength);
    EXPECT_EQ(Tags(seq), "FFFEE000+ ");
    const DcmObj& item = *seq.Entry(0).Obj;
    EXPECT_EQ(item.Header.Length, UndefinedLength);
    EXPECT_EQ(Tags(item), "00080060 00400001 00400002 00400008+ ");
    EXPECT_EQ(item.GetString(0x0040, 0x0001), "CT01");
    EXPECT_EQ(obj.GetString(0x0040, 0x0001), "") << "inside the sequence";
    const DcmObj& inner = *item.Entry(3).Obj;
    EXPECT_EQ(inner.Header.Length, UndefinedLength);
    EXPECT_EQ(inner.Entry(0).Obj->GetString(0x0008, 0x0100), "P1");
    EXPECT_EQ(Encode(obj), bytes);
  }
}

}  // namespace tarvelin
