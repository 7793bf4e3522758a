#pragma once

namespace tarvelin {

// The database engine behind a connection: the few statements whose text
// differs between them are chosen by it.
enum class SqlEngine { SQLite, PostgreSQL };

}  // namespace tarvelin
