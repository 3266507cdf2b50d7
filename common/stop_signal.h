// The process-wide stop flag that the console interrupt sets, and the object
// through which every loop asks for it.
#pragma once

#include <atomic>
#include <string_view>

namespace vove {

inline constexpr std::string_view interrupt_message = "Ctrl+C detected. Stopping the job. Please wait patiently...\n";

// Lets a request to end the process other than Ctrl+C (SIGTERM, SIGHUP)
// stop the loops too, silently; called once at start, before any named
// object exists. Once the loops have ended and every name is released,
// end_if_termination_requested() ends the process by that request, without
// the closing lines.
void watch_termination_requests() noexcept;
void end_if_termination_requested() noexcept;

class StopSignal {
 public:
  // Installs the console interrupt handler (once per process); throws
  // std::runtime_error "Error setting console control handler." on failure.
  StopSignal();

  // A signal that reads `flag` and installs nothing: for tests and tools
  // that decide themselves when to stop.
  static StopSignal watching(const std::atomic<bool>& flag) noexcept { return StopSignal(flag); }

  bool stop_requested() const noexcept { return flag_->load(); }

 private:
  explicit StopSignal(const std::atomic<bool>& flag) noexcept : flag_(&flag) {}
  const std::atomic<bool>* flag_;
};

}  // namespace vove
