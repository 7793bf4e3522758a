#include "web/write_refusal.h"

namespace tarvelin {

std::string WriteRefusal(WriteResult result, const std::string& accession, const std::string& status,
                         const std::string& databaseError) {
  switch (result) {
    case WriteResult::AlreadyExists:
      return "Accession Number already used: " + accession;
    case WriteResult::NotFound:
      return "no entry with Accession Number=" + accession;
    // The pages check the accession number and the required fields before
    // they write, so what the store finds invalid is the status word.
    case WriteResult::Invalid:
      return "not a status: " + status;
    default:
      return databaseError;
  }
}

}  // namespace tarvelin
