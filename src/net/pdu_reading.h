#pragma once
// Helpers shared by the PDU and item readers and writers.
#include <cstddef>
#include <initializer_list>
#include <string>
#include <utility>

#include "net/buffer.h"

namespace tarvelin {

// True when `in` (the unread rest of a PDU or item) still holds `count`
// bytes; otherwise logs "ERROR, <where>, ..." and gives false. Checked before
// a length read from the wire is used, so nothing is allocated for it.
bool ItemFits(Buffer& in, std::size_t count, const std::string& where);

// Debug lines: the header, then one "Name: value" line per field.
void DebugFields(const std::string& header,
                 std::initializer_list<std::pair<const char*, std::string>> fields);

// Reads `count` bytes of `in` as text (already checked to fit).
std::string ReadText(Buffer& in, std::size_t count);

}  // namespace tarvelin
