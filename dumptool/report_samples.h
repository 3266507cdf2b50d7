// The few values of each recorded row that a lap report needs, read once
// from a dump of either simulator into the same samples: for iRacing with
// the session text that was in force last, for ACC with the summary its
// static and graphics pages give.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/progress_line.h"
#include "dumptool/session_summary.h"

namespace vove {

// The charted quantities, in the order the page shows them.
enum class ReportChannel : std::size_t { speed, throttle, brake, gear, engine_speed };
inline constexpr std::size_t report_channel_count = 5;

struct ReportChannelInfo {
  std::string_view variable;  // the iRacing variable it is read from
  std::string_view title;     // how the page names it
  std::string_view unit;      // the unit the page shows
  double scale;               // recorded value times this is shown
  bool steps;                 // holds its value between samples (a gear)
};

const ReportChannelInfo& report_channel_info(ReportChannel channel) noexcept;

// What a sample holds for a value its row does not carry.
inline constexpr double missing_sample = std::numeric_limits<double>::quiet_NaN();

// One recorded row, in the units of iRacing's variables (speed in m/s,
// pedals 0 to 1, gear -1 reverse, 0 neutral); a value the row does not
// carry is NaN.
struct TelemetrySample {
  double session_time;
  double lap;            // the lap being driven
  double lap_fraction;   // 0 to 1 along the lap
  double lap_distance;   // metres from the line
  double last_lap_time;  // the simulator's time of the lap before
  double session_number;
  // Where the car is on a flat map of the track seen from above, in metres:
  // iRacing's latitude and longitude around the first position (x east,
  // y north), ACC's world x and z as they are. NaN when not recorded.
  double map_x;
  double map_y;
  std::array<double, report_channel_count> channels;
};

// What each quantity of a sample was read from, as the report's notes name
// it when it is missing.
struct ReportSources {
  std::string_view kind;  // "variable" or "field"
  std::string_view session_time;
  std::string_view lap;
  std::string_view lap_fraction;
  std::array<std::string_view, report_channel_count> channels;
  // Why the charts may lack a length in metres.
  std::string_view no_track_length;
  // Why the page may lack a track map.
  std::string_view no_position;
};

// Latitude and longitude in degrees to metres on a flat map around an
// origin: the tangent plane, exact enough over a track's few kilometres.
struct MapProjection {
  double origin_latitude;
  double origin_longitude;
  std::array<double, 2> metres(double latitude, double longitude) const noexcept;
};

struct ReportRecording {
  std::uint32_t rate = 0;             // frames per second the file was recorded at
  std::size_t frame_count = 0;        // frames read
  std::size_t unreadable_frames = 0;  // frames that did not inflate or parse, passed over
  std::string first_unreadable;       // why the first of them could not be read
  std::optional<std::string> damage;  // why the file ends early, if it does
  std::string session_text;           // the text in force at the end; empty if none was recorded
  // The summary, when the recording gives it otherwise than by a session
  // text (ACC); then the session text is not read.
  std::optional<SessionSummary> summary;
  ReportSources sources;
  std::vector<TelemetrySample> samples;
  // Which of the variables the report looks for were present in any frame.
  bool has_session_time = false;
  bool has_lap = false;
  bool has_lap_fraction = false;
  bool has_lap_distance = false;
  bool has_last_lap_time = false;
  bool has_position = false;
  std::array<bool, report_channel_count> has_channel{};
};

// Thrown for a recording of a simulator whose telemetry the report cannot
// read (the what() says which and why).
class ReportNotAvailable : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads `path`. Throws what DumpFrames throws for a file it cannot open or
// that is no dump, and ReportNotAvailable for a recording of a simulator
// other than iRacing and ACC. A file cut short or damaged is read up to the damage,
// and `damage` says so; single frames that cannot be read are passed over.
// `progress`, if given, shows how far the reading has come.
ReportRecording read_report_recording(const std::filesystem::path& path, ProgressLine* progress = nullptr);

// Whether `value` holds a number, and `flag` once any does.
inline void note_present(bool& flag, double value) noexcept { flag = flag || value == value; }

}  // namespace vove
