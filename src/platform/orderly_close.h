#pragma once

namespace tarvelin {
// Ending a TCP conversation so that what was sent still arrives.
//
// A close with unread input, or with linger set to 0 seconds, resets the
// connection, and a reset can destroy our last answer in flight or make a
// peer that half-closed and waits for our FIN report a failure although it
// got every answer.

// Sends our FIN (no more writes), then reads and drops whatever the peer
// still sends until it closes its side or `waitMs` pass. True when the peer
// closed its side. The descriptor stays open.
bool HalfCloseAndDrain(int fd, int waitMs);

}  // namespace tarvelin
