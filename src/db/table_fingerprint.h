#pragma once
// The rows of one table reduced to a count and a digest, so that a table and
// its copy in another database can be compared without keeping either. The
// digest does not depend on the order rows are added in: two engines may
// order the same keys differently and still agree.
#include <array>
#include <cstddef>
#include <string>
#include <vector>

namespace tarvelin {

struct TableRow;

class TableFingerprint {
 public:
  void Add(const TableRow& row);

  std::size_t Rows() const { return rowDigests_.size(); }
  // The digest of every row added (BLAKE2b), as hexadecimal digits.
  std::string Digest() const;

 private:
  std::vector<std::array<unsigned char, 32>> rowDigests_;
};

}  // namespace tarvelin
