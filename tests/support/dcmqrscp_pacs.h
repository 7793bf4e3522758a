#pragma once
// An independent PACS for tests and benchmarks: dcmtk's dcmqrscp on a free
// port, with a study store filled through storescu from files made by
// dump2dcm. The archive answers C-FIND at the Study Root levels under the AE
// title "PACS" to any caller; under "STRICT" it refuses every caller but
// ONLYME (unknown callers are rejected).
#include <memory>
#include <string>
#include <vector>

namespace tarvelin {

class ChildProcess;

// One stored image: its study carries the accession number.
struct PacsStudy {
  std::string accession;
  std::string patientID = "P1";
  std::string patientName = "DOE^JOHN";
  std::string charset{};  // its (0008,0005); empty: none
};

class DcmqrscpPacs {
 public:
  // Makes /tmp/tarvelin-pacs-XXXXXX/, starts dcmqrscp and stores one study
  // per entry (one series, one 2x2 image each).
  explicit DcmqrscpPacs(const std::vector<PacsStudy>& studies);
  // Stops dcmqrscp and removes the folder.
  ~DcmqrscpPacs();
  DcmqrscpPacs(const DcmqrscpPacs&) = delete;
  DcmqrscpPacs& operator=(const DcmqrscpPacs&) = delete;

  // "" when the archive is up and holds every study; else what failed.
  const std::string& Problem() const { return problem_; }
  int Port() const { return port_; }
  // Stops the archive (its port then refuses connections).
  void Stop();

  // The UIDs the store gives study n (from 1), its series and its image.
  static std::string StudyUID(int n);
  static std::string SeriesUID(int n);
  static std::string ImageUID(int n);

 private:
  bool StoreStudies(const std::vector<PacsStudy>& studies);

  std::string folder_;
  int port_ = 0;
  std::string problem_;
  std::unique_ptr<ChildProcess> server_;
};

}  // namespace tarvelin
