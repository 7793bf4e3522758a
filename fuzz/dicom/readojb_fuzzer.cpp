// Feeds arbitrary bytes to the dataset decoder. Whatever decodes must also
// encode, dump, and have an encoded length equal to the bytes written.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "dicom/bufdata.h"
#include "dicom/dump.h"

using namespace tarvelin;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool explicitVR = data[0] & 1;
  const bool bigEndian = data[0] & 2;
  BufData in(data + 1, size - 1);
  in.BigEndian = bigEndian;
  DcmObj obj;
  obj.ExplicitVR = explicitVR;
  if (bigEndian) obj.TransferSyntax = ExplicitVRBigEndianTS;
  in.ReadOjb(obj);  // failure is fine; what was decoded so far must stay usable

  BufData out;
  out.WriteObj(obj);
  if (out.Stream.Bytes.size() != obj.EncodedLength()) std::abort();
  std::vector<std::string> lines;
  Dump(obj, lines, 0);
  return 0;
}
