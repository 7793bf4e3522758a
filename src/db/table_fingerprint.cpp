#include "db/table_fingerprint.h"

#include <sodium.h>

#include <algorithm>
#include <cstdint>

#include "db/table_reader.h"

namespace tarvelin {

namespace {
void Feed(crypto_generichash_state& state, const void* bytes, std::size_t size) {
  crypto_generichash_update(&state, static_cast<const unsigned char*>(bytes), size);
}
}  // namespace

void TableFingerprint::Add(const TableRow& row) {
  static const bool ready = sodium_init() >= 0;  // the library's own set-up, once
  (void)ready;
  // Each value with its NULL flag and its length, so no two different rows
  // (values shifted between columns, NULL against "") feed the same bytes.
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, 32);
  for (std::size_t i = 0; i < row.values.size(); ++i) {
    const unsigned char isNull = row.nulls[i] ? 1 : 0;
    const std::uint64_t size = row.values[i].size();
    Feed(state, &isNull, 1);
    Feed(state, &size, sizeof size);
    Feed(state, row.values[i].data(), row.values[i].size());
  }
  std::array<unsigned char, 32> digest{};
  crypto_generichash_final(&state, digest.data(), digest.size());
  rowDigests_.push_back(digest);
}

std::string TableFingerprint::Digest() const {
  auto sorted = rowDigests_;
  std::sort(sorted.begin(), sorted.end());
  crypto_generichash_state state;
  crypto_generichash_init(&state, nullptr, 0, 32);
  for (const auto& digest : sorted) Feed(state, digest.data(), digest.size());
  std::array<unsigned char, 32> total{};
  crypto_generichash_final(&state, total.data(), total.size());
  char hex[65];
  sodium_bin2hex(hex, sizeof hex, total.data(), total.size());
  return hex;
}

}  // namespace tarvelin
