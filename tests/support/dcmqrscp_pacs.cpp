#include "support/dcmqrscp_pacs.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "support/child_process.h"
#include "support/free_port.h"
#include "support/log_file.h"

namespace tarvelin {

namespace {
// One image of a study, as dump2dcm reads it.
std::string ImageDump(int n, const PacsStudy& study) {
  return (study.charset.empty() ? "" : "(0008,0005) CS [" + study.charset + "]\n") +
         "(0008,0016) UI =SecondaryCaptureImageStorage\n"
         "(0008,0018) UI [" + DcmqrscpPacs::ImageUID(n) + "]\n"
         "(0008,0020) DA [20240305]\n"
         "(0008,0050) SH [" + study.accession + "]\n"
         "(0008,0060) CS [OT]\n"
         "(0010,0010) PN [" + study.patientName + "]\n"
         "(0010,0020) LO [" + study.patientID + "]\n"
         "(0020,000d) UI [" + DcmqrscpPacs::StudyUID(n) + "]\n"
         "(0020,000e) UI [" + DcmqrscpPacs::SeriesUID(n) + "]\n"
         "(0020,0010) SH [S" + std::to_string(n) + "]\n"
         "(0020,0011) IS [1]\n"
         "(0020,0013) IS [1]\n"
         "(0028,0002) US 1\n"
         "(0028,0004) CS [MONOCHROME2]\n"
         "(0028,0010) US 2\n"
         "(0028,0011) US 2\n"
         "(0028,0100) US 8\n"
         "(0028,0101) US 8\n"
         "(0028,0102) US 7\n"
         "(0028,0103) US 0\n"
         "(7fe0,0010) OB 00\\01\\02\\03\n";
}
}  // namespace

std::string DcmqrscpPacs::StudyUID(int n) { return "1.2.826.0.1.3680043.9.7433.1." + std::to_string(n); }
std::string DcmqrscpPacs::SeriesUID(int n) { return StudyUID(n) + ".1"; }
std::string DcmqrscpPacs::ImageUID(int n) { return StudyUID(n) + ".1.1"; }

DcmqrscpPacs::DcmqrscpPacs(const std::vector<PacsStudy>& studies) : port_(FreePort()) {
  std::string pattern = "/tmp/tarvelin-pacs-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    problem_ = "mkdtemp failed";
    return;
  }
  folder_ = pattern + "/";
  std::filesystem::create_directories(folder_ + "store");
  std::ofstream(folder_ + "dcmqrscp.cfg")
      << "NetworkTCPPort = " << port_ << "\nMaxPDUSize = 16384\nMaxAssociations = 16\n"
      << "HostTable BEGIN\nHostTable END\nVendorTable BEGIN\nVendorTable END\nAETable BEGIN\n"
      << "PACS " << folder_ << "store RW (100000, 64mb) ANY\n"
      << "STRICT " << folder_ << "store R (100000, 64mb) (127.0.0.1, ONLYME, 1)\n"
      << "AETable END\n";
  // Forking mode: dcmtk 3.6.7's --single-process ends with a crash after a store.
  server_ = std::make_unique<ChildProcess>("/usr/bin/dcmqrscp",
                                           std::vector<std::string>{"-c", folder_ + "dcmqrscp.cfg", std::to_string(port_)});
  if (!server_->Started() || !WaitUntil([this] { return PortAccepts(port_); }, 10000)) {
    problem_ = "dcmqrscp did not start (is dcmtk installed?) " + server_->Errors();
    return;
  }
  if (!StoreStudies(studies)) return;
}

bool DcmqrscpPacs::StoreStudies(const std::vector<PacsStudy>& studies) {
  if (studies.empty()) return true;
  std::string files;
  for (std::size_t i = 0; i < studies.size(); ++i) {
    const int n = static_cast<int>(i) + 1;
    const std::string base = folder_ + "image" + std::to_string(n);
    std::ofstream(base + ".dump") << ImageDump(n, studies[i]);
    const PeerResult made = RunPeer("dump2dcm -g " + ShellQuote(base + ".dump") + " " + ShellQuote(base + ".dcm"));
    if (made.ExitCode != 0) {
      problem_ = "dump2dcm failed: " + made.Output;
      return false;
    }
    files += " " + ShellQuote(base + ".dcm");
  }
  const PeerResult stored = RunPeer("storescu -aet STORER -aec PACS 127.0.0.1 " + std::to_string(port_) + files, 120);
  if (stored.ExitCode != 0) problem_ = "storescu failed: " + stored.Output;
  return problem_.empty();
}

DcmqrscpPacs::~DcmqrscpPacs() {
  Stop();
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

void DcmqrscpPacs::Stop() {
  server_.reset();  // kills the archive; its forked children end with their association
  WaitUntil([this] { return !PortAccepts(port_); }, 5000);
}

}  // namespace tarvelin
