#pragma once

namespace tarvelin {
// Hands the worklist engine's services to the DICOM server: the worklist
// C-FIND and the MPPS N-CREATE/N-SET. Called once by the executable before
// the DICOM listener starts.
void RegisterWorklistServices();

}  // namespace tarvelin
