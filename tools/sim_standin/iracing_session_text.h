// The session text the iRacing stand-in publishes: a few kilobytes of
// indented "key: value" lines describing the event, the track, the sessions
// with their results and the drivers.
#pragma once

#include <cstdint>
#include <string>

namespace iRacing {

// The text for the `update`-th rewrite (1 for the first). The field of
// drivers grows and shrinks from one update to the next, so some texts are
// shorter than the one before; results and ratings move with every update.
// The text holds no zero byte.
std::string standin_session_text(std::int32_t update);

}  // namespace iRacing
