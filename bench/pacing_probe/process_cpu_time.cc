#include "bench/pacing_probe/process_cpu_time.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace vove::probe {

namespace {

// Sum of the first field of every thread's schedstat: time on the processor
// in nanoseconds.
std::optional<double> scheduler_seconds(pid_t pid) {
  std::error_code error;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  std::uint64_t total_ns = 0;
  bool any = false;
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream in(task.path() / "schedstat");
    std::uint64_t on_cpu_ns = 0;
    if (in >> on_cpu_ns) {
      total_ns += on_cpu_ns;
      any = true;
    }
  }
  if (error || !any) return std::nullopt;
  return static_cast<double>(total_ns) / 1e9;
}

// utime + stime of /proc/<pid>/stat, in clock ticks.
std::optional<double> tick_seconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  // The command name may hold spaces: fields are counted after its ')'.
  const auto name_end = line.rfind(')');
  if (name_end == std::string::npos) return std::nullopt;
  std::istringstream fields(line.substr(name_end + 2));
  std::string field;
  unsigned long long user = 0, system = 0;
  for (int index = 3; index <= 15 && fields >> field; ++index) {
    if (index == 14) user = std::stoull(field);
    if (index == 15) system = std::stoull(field);
  }
  return static_cast<double>(user + system) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace

std::optional<double> process_cpu_seconds(pid_t pid) {
  if (auto seconds = scheduler_seconds(pid)) return seconds;
  return tick_seconds(pid);
}

}  // namespace vove::probe
