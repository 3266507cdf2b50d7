// The comparison for the replay's pacing: the same work (inflate a frame,
// write it into the iRacing memory) paced by a plain sleep to absolute
// deadlines, with no spin at the end.
#pragma once

#include <filesystem>

namespace vove::probe {

// Replays the iRacing dump at `path` at its rate and returns when it ends.
void publish_at_deadlines(const std::filesystem::path& path);

}  // namespace vove::probe
