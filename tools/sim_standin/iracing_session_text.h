// The session text the iRacing stand-in publishes, in the simulator's own
// sections, keys and value formats: WeekendInfo (the track and its length),
// SessionInfo (practice running, qualifying, race), CameraInfo, RadioInfo, DriverInfo (the player is DriverCarIdx, not the
// first of the Drivers), SplitTimeInfo and CarSetup.
#pragma once

#include <cstdint>
#include <string>

#include "tools/sim_standin/standin_drive.h"

namespace vove::iracing {

// The text for the `update`-th rewrite (1 for the first) on a track of
// `track_length_metres`. The practice results grow and shrink from one
// update to the next, so some texts are shorter than the one before. The
// text holds no zero byte; the publisher adds the terminating one.
std::string standin_session_text(std::int32_t update, double track_length_metres = standin_track_length_metres);

}  // namespace vove::iracing
