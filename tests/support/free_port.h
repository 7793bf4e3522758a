#pragma once

namespace tarvelin {
// Loopback ports for tests and benchmarks that start servers: ctest and other
// engineers run in parallel, so nobody may rely on a fixed port.

// A TCP port that was free a moment ago (bound to port 0 and read back).
int FreePort();

// A socket listening on 127.0.0.1 at a port of its own, which goes to
// `port` (the caller closes it; it accepts nothing by itself); -1 on failure.
int ListenLoopback(int& port);

// True when something accepts connections on 127.0.0.1:`port`.
bool PortAccepts(int port);

// A TCP connection to 127.0.0.1:`port` (the caller closes it); -1 when refused.
int ConnectLoopback(int port);

}  // namespace tarvelin
