#include "worklist_fixture.h"

#include "db/sqldb.h"
#include "service/settings.h"

namespace tarvelin {

void WorklistInstance::SetUp() {
  instance_ = std::make_unique<DatabaseFolder>("wl");
  ASSERT_EQ(instance_->Problem(), "");
  folder_ = instance_->Home();
  ServerSettings.FilterByAET = false;
  ServerSettings.LogLevel = 1;
}

void WorklistInstance::TearDown() { instance_.reset(); }

WorklistDB WorklistInstance::Entry(const std::string& accession, const std::string& patientName) {
  WorklistDB e;
  e.AccessionNumber = accession;
  e.PatientName = patientName;
  e.PatientID = "P" + accession;
  e.Modality = "CT";
  e.SPSDate = "20240315";
  e.SPSTime = "0930";
  e.SPSStatus = "SCHEDULED";
  e.StudyInstanceUID = "1.2.3." + accession;
  e.SPSID = "S" + accession;
  e.ScheduledStation = "CT01";
  return e;
}

void WorklistInstance::Insert(WorklistDB entry) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_TRUE(db.IsOpen);
  ASSERT_EQ(entry.Insert(db), WriteResult::Done);
}

std::string WorklistInstance::Column(const std::string& accession, const std::string& column) {
  SQLdb db("quillat", SQLdb::ReadOnly);
  std::vector<std::string> rows;
  EXPECT_EQ(db.Query("SELECT " + column + " FROM Worklist WHERE AccessionNumber='" + accession + "'", rows), 0);
  if (rows.size() != 1) return "<no row>";
  return rows[0].substr(0, rows[0].size() - 1);
}

void WorklistInstance::ExecSql(const std::string& sql) {
  SQLdb db("quillat", SQLdb::ReadWrite);
  ASSERT_EQ(db.Exec(sql), 0) << db.ErrorText;
}

std::string WorklistInstance::Log() const { return instance_->Log(); }

DcmTag RawElement(std::uint16_t group, std::uint16_t element, const std::string& bytes) {
  DcmTag tag(group, element, 0, nullptr);
  tag.Length = static_cast<std::uint32_t>(bytes.size());
  tag.Data.assign(bytes.begin(), bytes.end());
  return tag;
}

DcmTag EmptyElement(std::uint16_t group, std::uint16_t element) {
  return DcmTag(group, element, 0, nullptr);
}

std::unique_ptr<DcmObj> UndefinedLengths(std::unique_ptr<DcmObj> sequence) {
  sequence->Header.Length = UndefinedLength;
  for (DcmEntry& item : sequence->Entries)
    if (item.IsObj()) item.Obj->Header.Length = UndefinedLength;
  return sequence;
}

}  // namespace tarvelin
