#include "common/stop_signal.h"

#include <stdexcept>

#include "common/explained_error.h"
#include "common/platform/platform.h"

namespace vove {

namespace {

// Set from the interrupt handler, which may run asynchronously on any
// thread: only a lock-free atomic may be touched there.
std::atomic<bool> stop_flag{false};
static_assert(std::atomic<bool>::is_always_lock_free);

void request_stop() noexcept { stop_flag.store(true); }

}  // namespace

StopSignal::StopSignal() : flag_(&stop_flag) {
  // The handler prints the message first and then sets the flag, so a loop
  // that sees the flag has its line on the console already.
  platform::Failure failure;
  if (!platform::install_interrupt_handler(interrupt_message, &request_stop, &failure)) {
    throw platform_error("Error setting console control handler.", failure);
  }
}

void watch_termination_requests() noexcept { platform::install_termination_handler(&request_stop); }

void end_if_termination_requested() noexcept { platform::end_if_termination_requested(); }

}  // namespace vove
