#pragma once
// A libpq connection string as messages may show it: without its password.
#include <string>

namespace tarvelin {

// "host=db1,db2 port=5432 dbname=tarvelin user=tarvelin" for any form libpq
// reads (key=value words or a postgresql:// URI), with the password left
// out; a string libpq cannot read is shown as "(unreadable connection string)".
std::string ConninfoShown(const std::string& conninfo);

}  // namespace tarvelin
