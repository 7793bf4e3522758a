#pragma once

namespace tarvelin {
// The process-wide step counter of entries added through "wlprocess": it
// numbers the scheduled procedure step IDs made from accession numbers. It
// starts at 0 with the process and is never stored.

// Advances the counter (1, 2, ... 99, 0, 1, ...) and returns the new value.
// Safe from any thread: two callers never get the same advance.
int NextSpsCounter();

}  // namespace tarvelin
