#include <string>

#include "dicom/uid.h"

namespace tarvelin {

namespace {

struct UIDName {
  const char* UID;
  const char* Name;
};

// Transfer syntaxes, services, print management and storage classes shown
// by the dataset dump. Names follow the DICOM UID registry except where the
// system has always used its own shorter ones.
const UIDName kUIDNames[] = {
    {"1.2.840.10008.1.2", "Little Endian Implicit VR"},
    {"1.2.840.10008.1.2.1", "Little Endian Explicit VR"},
    {"1.2.840.10008.1.2.2", "Big Endian Explicit VR"},
    {"1.2.840.10008.1.2.5", "RLE LossLess"},
    {"1.2.840.10008.1.2.4.70", "JPEG LossLess"},
    {"1.2.840.10008.1.2.4.50", "JPEG BaseLine Lossy "},
    {"1.2.840.10008.1.2.4.51", "JPEG Extended Lossy"},
    {"1.2.840.10008.1.2.4.90", "JPEG 2000 LossLess"},
    {"1.2.840.10008.1.2.4.91", "JPEG 2000 Lossy"},
    {"1.2.840.10008.1.1", "Verification"},
    {"1.2.840.10008.5.1.4.31", "Worklist"},
    {"1.2.840.10008.3.1.2.3.3", "MPPS"},
    {"1.2.840.10008.5.1.4.1.2.2.1", "C-FIND"},
    {"1.2.840.10008.5.1.4.1.2.2.2", "C-MOVE"},
    {"1.2.840.10008.5.1.1.1", "Basic Film Session SOP Class"},
    {"1.2.840.10008.5.1.1.2", "Basic Film Box SOP Class"},
    {"1.2.840.10008.5.1.1.4", "Basic Grayscale Image Box SOP Class"},
    {"1.2.840.10008.5.1.1.4.1", "Basic Color Image Box SOP Class"},
    {"1.2.840.10008.5.1.1.9", "Basic Grayscale Print Management Meta SOP Class"},
    {"1.2.840.10008.5.1.1.14", "Print Job SOP Class"},
    {"1.2.840.10008.5.1.1.15", "Basic Annotation Box SOP Class"},
    {"1.2.840.10008.5.1.1.16", "Printer SOP Class"},
    {"1.2.840.10008.5.1.1.17", "Printer SOP Instance"},
    {"1.2.840.10008.5.1.1.18", "Basic Color Print Management Meta SOP Class"},
    {"1.2.840.10008.5.1.1.23", "Presentation LUT SOP Class"},
    {"1.2.840.10008.5.1.4.1.1.9.1.3", "Ambulatory ECG Waveform Storage"},
    {"1.2.840.10008.5.1.4.1.1.88.11", "Basic Text SR"},
    {"1.2.840.10008.5.1.4.1.1.9.4.1", "Basic Voice Audio Waveform Storage"},
    {"1.2.840.10008.5.1.4.1.1.11.4", "Blending Softcopy Presentation State Storage"},
    {"1.2.840.10008.5.1.4.1.1.9.3.1", "Cardiac Electrophysiology Waveform Storage"},
    {"1.2.840.10008.5.1.4.1.1.88.65", "Chest CAD SR Storage"},
    {"1.2.840.10008.5.1.4.1.1.11.2", "Color Softcopy Presentation State Storage"},
    {"1.2.840.10008.5.1.4.1.1.88.33", "Comprehensive SR Storage"},
    {"1.2.840.10008.5.1.4.1.1.104.1", "Encapsulated PDF Storage"},
    {"1.2.840.10008.5.1.4.1.1.88.22", "Enhanced SR Storage"},
    {"1.2.840.10008.5.1.4.1.1.9.1.2", "General ECG Waveform Storage"},
    {"1.2.840.10008.5.1.4.1.1.11.1", "Grayscale Softcopy Presentation State Storage"},
    {"1.2.840.10008.5.1.4.1.1.9.2.1", "Hemodynamic Waveform Storage"},
    {"1.2.840.10008.5.1.4.1.1.88.59", "Key Object Selection Document"},
    {"1.2.840.10008.5.1.4.1.1.88.50", "Mammography CAD SR Storage"},
    {"1.2.840.10008.5.1.4.1.1.4.2", "MR Spectroscopy Storage"},
    {"1.2.840.10008.5.1.4.1.1.129", "Standalone PET Curve Storage (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.88.40", "Procedure Log Storage"},
    {"1.2.840.10008.5.1.4.1.1.11.3", "Pseudo Color Softcopy Presentation StateStorage"},
    {"1.2.840.10008.5.1.4.1.1.66", "Raw Data Storage"},
    {"1.2.840.10008.5.1.4.1.1.67", "Real World Value Mapping Storage"},
    {"1.2.840.10008.5.1.4.1.1.481.4", "RT Beams Treatment Record Storage"},
    {"1.2.840.10008.5.1.4.1.1.481.6", "RT Brachy Treatment Record Storage"},
    {"1.2.840.10008.5.1.4.1.1.481.2", "RT Dose Storage"},
    {"1.2.840.10008.5.1.4.1.1.481.5", "RT Plan Storage"},
    {"1.2.840.10008.5.1.4.1.1.481.3", "RT Structure Set Storage"},
    {"1.2.840.10008.5.1.4.1.1.481.7", "RT Treatment Summary Record Storage"},
    {"1.2.840.10008.5.1.4.1.1.66.2", "Spatial Fiducials Storage"},
    {"1.2.840.10008.5.1.4.1.1.66.1", "Spatial Registration Storage"},
    {"1.2.840.10008.5.1.4.1.1.9", "Standalone Curve Storage (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.10", "Standalone Modality LUT Storage (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.8", "Standalone Overlay Storage (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.11", "Standalone VOI LUT Storage (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.77.1.5.3", "Stereometric Relationship Storage"},
    {"1.2.840.10008.5.1.1.27", "Stored Print Storage SOP Class (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.9.1.1", "12-lead ECG Waveform Storage"},
    {"1.2.840.10008.5.1.4.1.1.88.67", "XRay Radiation Dose SR"},
    {"1.2.840.10008.5.1.4.1.1.1", "Computed Radiography Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.2", "CT Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.1.2", "Digital Mammography X-Ray Image Storage - For Presentation"},
    {"1.2.840.10008.5.1.4.1.1.1.2.1", "Digital Mammography X-Ray Image Storage - For Processing"},
    {"1.2.840.10008.5.1.4.1.1.1.3", "Digital Intra-Oral X-Ray Image Storage - For Presentation"},
    {"1.2.840.10008.5.1.4.1.1.1.3.1", "Digital Intra-Oral X-Ray Image Storage - For Processing"},
    {"1.2.840.10008.5.1.4.1.1.1.1", "Digital X-Ray Image Storage - For Presentation"},
    {"1.2.840.10008.5.1.4.1.1.1.1.1", "Digital X-Ray Image Storage - For Processing"},
    {"1.2.840.10008.5.1.4.1.1.2.1", "Enhanced CT Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.4.1", "Enhanced MR Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.12.1.1", "Enhanced XA Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.12.2.1", "XRF Image Storage"},
    {"1.2.840.10008.5.1.1.30", "Hardcopy Color Image StorageSOP Class (Retired)"},
    {"1.2.840.10008.5.1.1.29", "Hardcopy Grayscale Image Storage SOP Class (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.4", "MR Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.7.2", "Multi-frame Grayscale Byte Secondary Capture Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.7.3", "Multi-frame Grayscale Word Secondary Capture Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.7.1", "Multi-frame Single Bit Secondary Capture Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.7.4", "Multi-frame True Color Secondary Capture Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.20", "Nuclear Medicine Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.77.1.5.1", "Ophthalmic Photography 8 Bit Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.77.1.5.2", "Ophthalmic Photography 16 Bit Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.128", "Positron Emission Tomography (PET) Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.5", "Nuclear Medicine Image Storage (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.6", "Ultrasound Image Storage (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.3", "Ultrasound Multi-frame Image Storage (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.77.1", "VL Image Storage (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.77.2", "VL Multi-frame Image Storage (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.12.3", "X Ray Angiographic BiPlane Image Storage (Retired)"},
    {"1.2.840.10008.5.1.4.1.1.481.1", "RT Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.7", "Secondary Capture Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.6.1", "Ultrasound Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.3.1", "Ultrasound Multi-frame Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.77.1.1.1", "Video Endoscopic Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.77.1.2.1", "Video Microscopic Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.77.1.4.1", "Video Photographic Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.77.1.1", "VL Video Endoscopic Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.77.1.2", "VL Video Microscopic Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.77.1.4", "VL Video Photographic Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.12.1", "X-Ray Angiographic Image Storage"},
    {"1.2.840.10008.5.1.4.1.1.12.2", "X-Ray Radiofluoroscopic Image Storage"},
};

}  // namespace

std::string GetUIDName(const std::string& uid) {
  for (const UIDName& row : kUIDNames)
    if (uid == row.UID) return row.Name;
  return "";
}

}  // namespace tarvelin
