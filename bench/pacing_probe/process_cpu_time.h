// Processor time a running process has used so far, read from outside.
#pragma once

#include <sys/types.h>

#include <optional>

namespace vove::probe {

// Seconds on the processor, all threads, user and system together; empty
// when the process is gone. Nanosecond resolution where the kernel keeps
// scheduler statistics, clock ticks otherwise.
std::optional<double> process_cpu_seconds(pid_t pid);

}  // namespace vove::probe
