#pragma once
// Child processes, ports and CPU accounting for the benchmark.
#include <sys/types.h>

#include <string>
#include <vector>

#include "support/free_port.h"

namespace tarvelin {

// Starts `argv` with stdout and stderr going to `output` ("" for /dev/null).
pid_t Spawn(const std::vector<std::string>& argv, const std::string& output = "");
// Waits for the process; its exit code, or -1 when it did not exit normally.
int WaitExit(pid_t pid);
// Spawn and wait, output discarded.
int RunQuietly(const std::vector<std::string>& argv);
// Ends a server started with Spawn (SIGTERM, then SIGKILL after 5 s).
void StopProcess(pid_t pid);

// CPU seconds used by `pid`: its own user and system time, that of its
// reaped children, and that of children still alive or not yet reaped.
double ProcessCpuSeconds(pid_t pid);

// True once something accepts connections on 127.0.0.1:`port`.
bool WaitForPort(int port, double timeoutSeconds);

// Monotonic seconds.
double Seconds();

}  // namespace tarvelin
