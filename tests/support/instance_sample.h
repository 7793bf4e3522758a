#pragma once
// An instance database filled with values that tend to break a copy: quotes
// and statement separators, every ASCII byte, letters of several scripts,
// NULL beside "", the smallest integer key, and data sets of every byte
// value (NUL included), empty and a mebibyte long. Every text is valid UTF-8,
// so PostgreSQL can hold the same rows. Enough worklist rows to fill several
// pages of a table copy.
#include <string>

namespace tarvelin {

// Adds the sample rows to the empty database file at `path` (written past
// the gateway, so a copy through it is checked against another path). ""
// when done, else what failed.
std::string FillSampleInstance(const std::string& path);

// Every row of every table of the database file at `path`, in key order,
// each value with its storage type and its bytes in hexadecimal: two files
// with the same dump hold the same data.
std::string DumpInstance(const std::string& path);

}  // namespace tarvelin
