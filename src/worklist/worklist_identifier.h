#pragma once
// Brings a worklist request identifier into the shape of its answers, in
// place and in the request's order, before it is translated and mirrored:
// - an empty or zero-item Scheduled Procedure Step Sequence (0040,0100),
//   which modalities send to mean "every attribute of the step", gets one
//   item holding every step attribute the server keeps, as return keys;
// - any other sequence loses its items, since the server keeps none of
//   their attributes: it is answered with zero items.
#include <cstdint>
#include <vector>

#include "dicom/dcmobj.h"
#include "worklist/query_refusal.h"

namespace tarvelin {

// Shapes `identifier`. Sequences whose dropped items held values (keys the
// server cannot match) are appended to `unsupported`. A sequence key with
// more than one item is refused: the model allows one.
QueryRefusal ShapeWorklistIdentifier(DcmObj& identifier, std::vector<std::uint32_t>& unsupported);

}  // namespace tarvelin
