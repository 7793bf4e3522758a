#pragma once
// The records of the find client (Study Root query/retrieve model): one
// record type per query level. A record is both the query (its non-empty
// fields are the keys sent) and a result (filled from one response).
// Texts are UTF-8; a new record has empty texts and zero numbers.
#include <cstdint>
#include <string>

namespace tarvelin {

struct StudyInfo {
  std::string StudyInstanceUID;
  std::string StudyDate;
  std::string StudyTime;
  std::string StudyID;
  std::string StudyDescription;
  std::string AccessionNumber;
  std::string InstitutionName;
  std::string ReferringPhysicianName;
  std::string ModalitiesInStudy;  // a response's Modality lands here too
  std::string OperatorsName;
  std::string PatientID;
  std::string PatientName;
  std::string PatientBirthDate;
  std::string PatientSex;
  std::string PatientAge;
  std::string PatientWeight;
  std::string PatientComments;
};

struct SeriesInfo {
  std::string SeriesInstanceUID;
  std::string SeriesNumber;
  std::string SeriesDate;
  std::string SeriesTime;
  std::string SeriesDescription;
  std::string Modality;
  std::string PatientPosition;
  std::string InstitutionName;
  std::string OperatorsName;
  std::string BodyPartExamined;
  std::string ProtocolName;
  std::string FrameOfReferenceUID;
  std::string StudyInstanceUID;
};

struct ImageInfo {
  std::string SOPInstanceUID;
  std::string SOPClassUID;
  std::string InstanceNumber;
  std::string ContentDate;
  std::string ContentTime;
  std::string NumberOfFrames;
  std::string AcquisitionDate;
  std::string AcquisitionTime;
  std::string AcquisitionNumber;
  std::string SliceLocation;
  std::uint16_t SamplesPerPixel = 0;
  std::string PhotometricInterpretation;
  std::uint16_t Rows = 0;
  std::uint16_t Columns = 0;
  std::uint16_t BitsStored = 0;
  std::string ImageType;
  std::string PresentationIntentType;
  std::string ImageOrientationPatient;
  std::string ImagePositionPatient;
  std::string SeriesInstanceUID;
  std::string StudyInstanceUID;
  std::string ConvolutionKernel;
};

}  // namespace tarvelin
