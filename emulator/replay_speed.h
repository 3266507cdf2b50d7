// How fast a replay may run, as a multiple of the recorded rate: the bounds
// of --speed and of the '+' and '-' keys alike.
#pragma once

namespace vove {

inline constexpr double slowest_speed = 0.1;
inline constexpr double fastest_speed = 16.0;

}  // namespace vove
