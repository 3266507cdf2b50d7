#include "tools/sim_standin/standin_schedule.h"

namespace vove {

StandinMoment standin_moment(const StandinOptions& options, double elapsed_seconds) noexcept {
  if (options.run_seconds > 0.0 && elapsed_seconds >= options.run_seconds) return {StandinPhase::finished, 0};
  if (options.pause_after_seconds <= 0.0 || elapsed_seconds < options.pause_after_seconds) {
    return {StandinPhase::producing, 0};
  }
  if (options.exit_after_pause) return {StandinPhase::finished, 0};
  if (options.resume_after_seconds > 0.0 &&
      elapsed_seconds >= options.pause_after_seconds + options.resume_after_seconds) {
    return {StandinPhase::producing, 1};
  }
  return {StandinPhase::paused, 0};
}

}  // namespace vove
