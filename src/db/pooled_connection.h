#pragma once
// A database connection the process keeps between operations, whatever the
// engine behind it. Used by one thread at a time: the pool hands it to one
// SQLdb, which gives it back when it is destroyed.
#include <string>

namespace tarvelin {

class PooledConnection {
 public:
  virtual ~PooledConnection() = default;

  // What it was opened on: a file's path or a connection string.
  virtual const std::string& Where() const = 0;
  // Which database behind Where() it has open, for a name that can come to
  // mean another one (a file replaced by a restored backup); "" otherwise.
  virtual const std::string& Identity() const = 0;
  // The open mode (SQLdb::ReadOnly or SQLdb::ReadWrite).
  virtual int Mode() const = 0;
  // True when it can serve another operation: outside any transaction, with
  // no statement half-way through its rows, and still connected.
  virtual bool Idle() const = 0;
  // Drops what a borrower may have attached (a trace, a busy time-out).
  virtual void Clean() = 0;
};

}  // namespace tarvelin
