#pragma once

namespace tarvelin {
// Open descriptors: every HL7, DICOM and web connection holds one, and the
// usual soft limit of 1024 is reached by a crowd of idle clients long before
// memory is. The hard limit is what the administrator (or the unit's
// LimitNOFILE) allows.

// Raises the soft limit to the hard limit; returns the soft limit in force
// afterwards.
long RaiseDescriptorLimit();

}  // namespace tarvelin
