#include "common/platform/fine_timer_resolution.h"
#include "common/stop_signal.h"
#include "emulator/emulator_entry.h"

using namespace vove;

int main(int argc, char* argv[]) {
  watch_termination_requests();
  // For the whole run: without it a 1 ms sleep step lasts a whole system
  // tick on Windows, and the pacing spins through every frame.
  const platform::FineTimerResolution fine_timer;
  return run_emulator(argc, argv);
}
