// A program under test, started as a real process with its standard output
// and error sent to files, so a test can wait for console lines, send the
// interrupt and collect the exit status.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vove {

struct ExitStatus {
  bool exited = false;  // ended through exit(); else by a signal
  int code = -1;        // exit code when exited
  int signal = 0;       // the ending signal otherwise
};

class ChildProcess {
 public:
  // Starts `argv` in `directory`; output goes to files next to it named
  // after `label`. Throws std::runtime_error when the process cannot start.
  ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& directory, const std::string& label);
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // A process still running at the end of a test is killed and reaped.
  ~ChildProcess();

  pid_t pid() const noexcept { return pid_; }

  void send_signal(int signal_number) const;
  // Waits for the process to end; std::nullopt if it is still running
  // after `limit` (a guard against hangs, not a timing check).
  std::optional<ExitStatus> wait_for_exit(std::chrono::milliseconds limit);
  // The most memory the process ever had resident, in KiB; known once it
  // has ended and been waited for.
  std::optional<long> peak_resident_kib() const noexcept { return peak_resident_kib_; }

  // The console output so far, carriage returns removed.
  std::string standard_output() const;
  std::string standard_error() const;
  // Waits until standard output holds `text`; false when `limit` passed
  // or the process ended without printing it.
  bool wait_for_output(const std::string& text, std::chrono::milliseconds limit);

 private:
  // Collects the exit status once the process has ended.
  bool has_ended();

  pid_t pid_ = -1;
  std::optional<ExitStatus> status_;
  std::optional<long> peak_resident_kib_;
  std::filesystem::path stdout_path_;
  std::filesystem::path stderr_path_;
};

// Reads a whole file as bytes into a string; empty when it does not exist.
std::string read_file(const std::filesystem::path& path);

}  // namespace vove
