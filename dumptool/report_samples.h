// The few values of each recorded iRacing row that a lap report needs,
// read once from a dump, with the session text that was in force last.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "common/progress_line.h"

// The charted quantities, in the order the page shows them.
enum class ReportChannel : std::size_t { speed, throttle, brake, gear, engine_speed };
inline constexpr std::size_t report_channel_count = 5;

struct ReportChannelInfo {
  std::string_view variable;  // the variable it is read from
  std::string_view title;     // how the page names it
  std::string_view unit;      // the unit the page shows
  double scale;               // recorded value times this is shown
  bool steps;                 // holds its value between samples (a gear)
};

const ReportChannelInfo& report_channel_info(ReportChannel channel) noexcept;

// One recorded row; a value the row does not carry is NaN.
struct TelemetrySample {
  double session_time;
  double lap;           // the lap being driven
  double lap_fraction;  // 0 to 1 along the lap
  double lap_distance;  // metres from the line
  double last_lap_time; // the simulator's time of the lap before
  double session_number;
  // Where the car is on a flat map of the track, in metres from the first
  // position the recording holds (x to the east, y to the north).
  double map_x;
  double map_y;
  std::array<double, report_channel_count> channels;
};

// Latitude and longitude in degrees to metres on a flat map around an
// origin: the tangent plane, exact enough over a track's few kilometres.
struct MapProjection {
  double origin_latitude;
  double origin_longitude;
  std::array<double, 2> metres(double latitude, double longitude) const noexcept;
};

struct ReportRecording {
  std::uint32_t rate = 0;          // frames per second the file was recorded at
  std::size_t frame_count = 0;     // frames read
  std::size_t unreadable_frames = 0;  // frames that did not inflate or parse, passed over
  std::string first_unreadable;       // why the first of them could not be read
  std::optional<std::string> damage;  // why the file ends early, if it does
  std::string session_text;        // the text in force at the end; empty if none was recorded
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
// other than iRacing. A file cut short or damaged is read up to the damage,
// and `damage` says so; single frames that cannot be read are passed over.
// `progress`, if given, shows how far the reading has come.
ReportRecording read_report_recording(const std::filesystem::path& path, ProgressLine* progress = nullptr);
