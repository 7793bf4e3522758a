#pragma once
// What became of one write to a worklist entry or a web user, as the store
// decided it from the rows its statement touched: callers act on the case by
// name.
namespace tarvelin {

enum class WriteResult {
  Done,           // the entry was inserted, changed or deleted as asked
  AlreadySo,      // a status change found the entry in that status already; nothing written
  AlreadyExists,  // an insert found the accession number (the user name) taken; nothing written
  NotFound,       // no entry with that accession number (no user of that name)
  Refused,        // the forward-only status rule, or the status the entry had to hold, said no; for
                  // users: the last ADMIN user would be removed or lose its ADMIN rights
  Invalid,        // the request itself: a required field empty, or a status that is no defined word
  Failed,         // the statement (or a password's hashing) failed (reason in the connection's ErrorText)
};

}  // namespace tarvelin
