// The choices a user makes about a replay on the command line, and the
// plan they give over one recording.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "emulator/replay_loop.h"
#include "formats/dump_frames.h"

namespace vove {

struct ReplayOptions {
  bool loop = false;
  std::optional<double> speed;  // 0.1 to 16
  std::optional<double> from;   // seconds from the start of the recording
  std::optional<double> to;
};

// A choice the command line allowed but the user must correct: the program
// ends with exit code 1 and the message, as for a rejected command line.
class RejectedOption : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

// A number as the help and the errors write it: "0.1", "16".
std::string number_text(double value);

// Checks what can be checked without the recording; throws RejectedOption
// naming the option.
void check_replay_options(const ReplayOptions& options);

// The frames to replay and what ends them, for `frames` of the file at
// `path`; throws RejectedOption for a range outside the recording or
// holding no frame.
ReplayPlan plan_replay(const DumpFrames& frames, const std::filesystem::path& path, const ReplayOptions& options);

}  // namespace vove
