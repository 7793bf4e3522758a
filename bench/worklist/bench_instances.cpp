#include "bench_instances.h"

#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "bench_process.h"
#include "dicom/bufdata.h"
#include "dicom/dcmobj.h"
#include "dicom/uid.h"

namespace tarvelin {

namespace {

bool RunSetup(const std::string& program, const std::vector<std::string>& args, std::string& error) {
  std::vector<std::string> argv{program};
  argv.insert(argv.end(), args.begin(), args.end());
  if (RunQuietly(argv) == 0) return true;
  error = "failed: " + program + " " + args.at(0) + " " + args.at(1);
  return false;
}

bool InsertEntries(const std::string& path, const std::vector<BenchEntry>& entries, std::string& error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    error = "cannot open " + path;
    sqlite3_close(db);
    return false;
  }
  sqlite3_stmt* insert = nullptr;
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_prepare_v2(db,
                     "INSERT INTO Worklist (PatientID, PatientName, PatientBD, PatientSex, ReferringPhysician, "
                     "AccessionNumber, MedicalAlerts, PatientState, PatientTransport, StudyInstanceUID, "
                     "RequestedProcedureDescription, Modality, SPSDate, SPSTime, PerformingPhysician, "
                     "SPSDescription, SPSID, SPSStatus, ScheduledStation, RequestedProcedureID, SOPInstanceUID, "
                     "RequestedProcedurePriority) VALUES "
                     "(?,?,?,?,?,?,'','','',?,?,?,?,?,?,?,?,'SCHEDULED',?,?,'',?)",
                     -1, &insert, nullptr);
  bool ok = insert != nullptr;
  for (const BenchEntry& e : entries) {
    if (!ok) break;
    const std::string* values[] = {&e.PatientID, &e.PatientName, &e.PatientBD, &e.PatientSex,
                                   &e.ReferringPhysician, &e.AccessionNumber, &e.StudyInstanceUID,
                                   &e.RequestedProcedureDescription, &e.Modality, &e.SPSDate, &e.SPSTime,
                                   &e.PerformingPhysician, &e.SPSDescription, &e.SPSID, &e.ScheduledStation,
                                   &e.RequestedProcedureID, &e.RequestedProcedurePriority};
    int column = 1;
    for (const std::string* v : values)
      sqlite3_bind_text(insert, column++, v->c_str(), static_cast<int>(v->size()), SQLITE_STATIC);
    ok = sqlite3_step(insert) == SQLITE_DONE;
    sqlite3_reset(insert);
  }
  if (!ok) error = std::string("insert failed: ") + sqlite3_errmsg(db);
  sqlite3_finalize(insert);
  ok = sqlite3_exec(db, ok ? "COMMIT" : "ROLLBACK", nullptr, nullptr, nullptr) == SQLITE_OK && ok;
  sqlite3_close(db);
  return ok;
}

void Add(DcmObj& obj, std::uint16_t group, std::uint16_t element, const std::string& value) {
  obj.Add(DcmTag(group, element, value));
}

DcmObj WorklistDataset(const BenchEntry& e) {
  DcmObj ds;
  ds.ExplicitVR = 1;
  ds.TransferSyntax = UID_ExplicitVRLittleEndian;
  Add(ds, 0x0008, 0x0005, "ISO_IR 100");
  Add(ds, 0x0008, 0x0050, e.AccessionNumber);
  Add(ds, 0x0008, 0x0090, e.ReferringPhysician);
  // Type 2 sequences wlmscpfs adds (with a warning per file) when missing.
  ds.Add(DcmTag(0x0008, 0x1110, 0, nullptr, "SQ"));
  ds.Add(DcmTag(0x0008, 0x1120, 0, nullptr, "SQ"));
  Add(ds, 0x0010, 0x0010, e.PatientName);
  Add(ds, 0x0010, 0x0020, e.PatientID);
  Add(ds, 0x0010, 0x0030, e.PatientBD);
  Add(ds, 0x0010, 0x0040, e.PatientSex);
  Add(ds, 0x0020, 0x000D, e.StudyInstanceUID);
  Add(ds, 0x0032, 0x1060, e.RequestedProcedureDescription);
  auto item = std::make_unique<DcmObj>();
  Add(*item, 0x0008, 0x0060, e.Modality);
  Add(*item, 0x0040, 0x0001, e.ScheduledStation);
  Add(*item, 0x0040, 0x0002, e.SPSDate);
  Add(*item, 0x0040, 0x0003, e.SPSTime);
  Add(*item, 0x0040, 0x0006, e.PerformingPhysician);
  Add(*item, 0x0040, 0x0007, e.SPSDescription);
  Add(*item, 0x0040, 0x0009, e.SPSID);
  Add(*item, 0x0040, 0x0010, e.ScheduledStation);
  Add(*item, 0x0040, 0x0020, "SCHEDULED");
  item->ExplicitVR = 1;
  item->Header.Length = item->EncodedLength();
  auto sequence = std::make_unique<DcmObj>();
  sequence->ExplicitVR = 1;
  sequence->AddSequence(0xFFFE, 0xE000, std::move(item));
  sequence->Header.Length = sequence->EncodedLength();
  ds.AddSequence(0x0040, 0x0100, std::move(sequence));
  Add(ds, 0x0040, 0x1001, e.RequestedProcedureID);
  Add(ds, 0x0040, 0x1003, e.RequestedProcedurePriority);
  return ds;
}

// Preamble, "DICM" and the file meta group for an explicit VR little endian file.
std::vector<std::uint8_t> FileHeader(const std::string& instanceUID) {
  DcmObj meta;
  meta.ExplicitVR = 1;
  const std::uint8_t version[2] = {0, 1};
  meta.Add(DcmTag(0x0002, 0x0001, 2, version, "OB"));
  meta.Add(DcmTag(0x0002, 0x0002, UID_ModalityWorklistFind, "UI"));
  meta.Add(DcmTag(0x0002, 0x0003, instanceUID, "UI"));
  meta.Add(DcmTag(0x0002, 0x0010, UID_ExplicitVRLittleEndian, "UI"));
  meta.Add(DcmTag(0x0002, 0x0012, ImplementationClassUID(), "UI"));
  BufData body;
  body.WriteObj(meta);
  BufData head;
  head.WriteTag(DcmTag::U32(0x0002, 0x0000, static_cast<std::uint32_t>(body.Stream.Size()), "UL"), true);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(132 + head.Stream.Bytes.size() + body.Stream.Bytes.size());  // one allocation
  bytes.resize(128);  // preamble
  bytes.insert(bytes.end(), {'D', 'I', 'C', 'M'});
  bytes.insert(bytes.end(), head.Stream.Bytes.begin(), head.Stream.Bytes.end());
  bytes.insert(bytes.end(), body.Stream.Bytes.begin(), body.Stream.Bytes.end());
  return bytes;
}

}  // namespace

bool MakeTarvelinInstance(const std::string& setupProgram, const std::string& dir, int port,
                          int hl7Port, int webPort, const std::vector<BenchEntry>& entries,
                          std::string& error) {
  return RunSetup(setupProgram, {"init", dir, "--admin-password", "bench admin password"}, error) &&
         RunSetup(setupProgram, {"config", dir, "TRVSVC", "WL_Port", std::to_string(port)}, error) &&
         RunSetup(setupProgram, {"config", dir, "TRVSVC", "HL7Port", std::to_string(hl7Port)}, error) &&
         RunSetup(setupProgram, {"config", dir, "TRVSVC", "WEBPort", std::to_string(webPort)}, error) &&
         InsertEntries(dir + "/database/quillat.db", entries, error);
}

bool WriteWorklistFiles(const std::string& dir, const std::string& calledAE,
                        const std::vector<BenchEntry>& entries, std::string& error) {
  const std::string folder = dir + "/" + calledAE + "/";
  std::filesystem::create_directories(folder);
  std::ofstream(folder + "lockfile");  // wlmscpfs locks the folder through it
  for (const BenchEntry& e : entries) {
    DcmObj ds = WorklistDataset(e);
    BufData data;
    data.WriteObj(ds);
    std::vector<std::uint8_t> bytes = FileHeader(e.StudyInstanceUID + ".1");
    bytes.insert(bytes.end(), data.Stream.Bytes.begin(), data.Stream.Bytes.end());
    std::ofstream file(folder + e.AccessionNumber + ".wl", std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
      error = "cannot write " + folder + e.AccessionNumber + ".wl";
      return false;
    }
  }
  return true;
}

}  // namespace tarvelin
