#pragma once
// Where a server's node number (service/node_number.h) comes from.
namespace tarvelin {

// Sets this run's node number for the storage in use, once at start, before
// any component runs: 0 on SQLite; on PostgreSQL the next value of the
// database's node sequence (made on first use), so that no two servers on the
// database share one. When the sequence cannot be had (no server answers, no
// right to make it), a number drawn at random from a range the sequence never
// gives, with a warning. Logs the number it took.
void NumberThisServer();

}  // namespace tarvelin
