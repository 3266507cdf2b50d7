// When the stand-in produces, pauses and stops, as a pure function of the
// time since it started, so both publishers follow one timeline.
#pragma once

#include "tools/sim_standin/standin_options.h"

namespace vove {

enum class StandinPhase { producing, paused, finished };

struct StandinMoment {
  StandinPhase phase = StandinPhase::producing;
  int run = 0;  // 0 before the pause, 1 once production has resumed
};

// The timeline: produce until --pause-after, then pause (or finish with
// --exit-after-pause) until --resume-after seconds into the pause, then
// produce again. --seconds ends everything, whatever the phase.
StandinMoment standin_moment(const StandinOptions& options, double elapsed_seconds) noexcept;

}  // namespace vove
