#pragma once
// A throw-away instance folder for the worklist tests: a fresh database with
// the service's schema, the log, and helpers to build identifiers and rows.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "db/worklistdb.h"
#include "dicom/dcmobj.h"
#include "dicom/dcmtag.h"
#include "support/database_folder.h"
#include "support/modality_peer.h"

namespace tarvelin {

class WorklistInstance : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Inserts a SCHEDULED CT entry; the fields given override the defaults.
  WorklistDB Entry(const std::string& accession, const std::string& patientName);
  void Insert(WorklistDB entry);
  // The value of one column of the row with that accession number.
  std::string Column(const std::string& accession, const std::string& column);
  // Runs SQL on the test database (set-up of special cases).
  void ExecSql(const std::string& sql);
  // The log written so far.
  std::string Log() const;

  std::unique_ptr<DatabaseFolder> instance_;
  std::string folder_;
};

// An element with exactly these value bytes (no padding added).
DcmTag RawElement(std::uint16_t group, std::uint16_t element, const std::string& bytes);
// An empty element (a return key).
DcmTag EmptyElement(std::uint16_t group, std::uint16_t element);
// The same sequence and its items marked as encoded with undefined lengths
// (as dcmjs-dimse and many modalities send them).
std::unique_ptr<DcmObj> UndefinedLengths(std::unique_ptr<DcmObj> sequence);

}  // namespace tarvelin
