#include "dumptool/report_samples.h"

#include <cmath>
#include <limits>
#include <sstream>
#include <stdexcept>

#include "dumptool/acc_report_samples.h"
#include "formats/acc_pages.h"
#include "formats/dump_frames.h"
#include "formats/iracing_recording.h"
#include "formats/iracing_variable_table.h"
#include "simulators/simulator.h"

namespace vove {

namespace {

constexpr std::array<ReportChannelInfo, report_channel_count> channel_table{{
    {"Speed", "Speed", "km/h", 3.6, false},
    {"Throttle", "Throttle", "%", 100.0, false},
    {"Brake", "Brake", "%", 100.0, false},
    {"Gear", "Gear", "", 1.0, true},
    {"RPM", "Engine speed", "rpm", 1.0, false},
}};

// The variables of one frame's table that the report reads; looked up again
// only when the headers change, which in a real session is hardly ever.
struct VariableSet {
  const iracing::VariableInfo* session_time = nullptr;
  const iracing::VariableInfo* lap = nullptr;
  const iracing::VariableInfo* lap_fraction = nullptr;
  const iracing::VariableInfo* lap_distance = nullptr;
  const iracing::VariableInfo* last_lap_time = nullptr;
  const iracing::VariableInfo* session_number = nullptr;
  const iracing::VariableInfo* latitude = nullptr;
  const iracing::VariableInfo* longitude = nullptr;
  std::array<const iracing::VariableInfo*, report_channel_count> channels{};

  explicit VariableSet(const iracing::VariableTable& table) {
    session_time = table.find("SessionTime");
    lap = table.find("Lap");
    lap_fraction = table.find("LapDistPct");
    lap_distance = table.find("LapDist");
    last_lap_time = table.find("LapLastLapTime");
    session_number = table.find("SessionNum");
    latitude = table.find("Lat");
    longitude = table.find("Lon");
    for (std::size_t c = 0; c < report_channel_count; ++c) channels[c] = table.find(channel_table[c].variable);
  }
};

// The value, or NaN when the variable is absent or does not fit the row.
double value_in(std::span<const std::uint8_t> row, const iracing::VariableInfo* variable) noexcept {
  if (variable == nullptr || !variable->fits_row(row.size())) return missing_sample;
  const double value = iracing::read_value(row, *variable, 0);
  return std::isfinite(value) ? value : missing_sample;
}

constexpr ReportSources iracing_sources{
    "variable",
    "SessionTime",
    "Lap",
    "LapDistPct",
    {channel_table[0].variable, channel_table[1].variable, channel_table[2].variable, channel_table[3].variable,
     channel_table[4].variable},
    "no LapDist variable, no TrackLength in the session text",
    "no Lat and Lon variables"};

void read_iracing_samples(DumpFrames& frames, ReportRecording& recording, ProgressLine* progress);

}  // namespace

std::array<double, 2> MapProjection::metres(double latitude, double longitude) const noexcept {
  // The mean radius of the Earth.
  constexpr double radius = 6371008.8;
  constexpr double radians = 3.14159265358979323846 / 180.0;
  return {radius * (longitude - origin_longitude) * radians * std::cos(origin_latitude * radians),
          radius * (latitude - origin_latitude) * radians};
}

const ReportChannelInfo& report_channel_info(ReportChannel channel) noexcept {
  return channel_table[static_cast<std::size_t>(channel)];
}

ReportRecording read_report_recording(const std::filesystem::path& path, ProgressLine* progress) {
  DumpFrames frames(path);
  const bool iracing = payload_codec(frames.header().source_id) == PayloadCodec::iracing_snapshot;
  if (!iracing && payload_codec(frames.header().source_id) != PayloadCodec::acc_pages) {
    std::ostringstream message;
    message << "a report is not available for this recording: '" << path.string() << "' holds ";
    message << source_id_text(frames.header().source_id, SourceIdStyle::as_stored);
    message << " telemetry, and reports read iRacing and ACC telemetry only";
    throw ReportNotAvailable(message.str());
  }

  ReportRecording recording;
  recording.rate = frames.header().fps;
  if (const auto& damage = frames.index().damage()) {
    std::ostringstream message;
    message << "the file is damaged from frame " << damage->frame + 1 << " on; the report covers the " << frames.size()
            << " frames before it";
    recording.damage = message.str();
  }
  recording.samples.reserve(frames.size());
  if (iracing) {
    read_iracing_samples(frames, recording, progress);
  } else {
    read_acc_samples(frames, recording, progress);
  }
  return recording;
}

namespace {

void read_iracing_samples(DumpFrames& frames, ReportRecording& recording, ProgressLine* progress) {
  recording.sources = iracing_sources;
  iracing::RecordingWalk walk(frames);
  VariableSet variables(walk.variables());
  std::optional<MapProjection> projection;  // around the first position
  while (true) {
    const iracing::RecordingFrame* frame = nullptr;
    try {
      frame = walk.next();
    } catch (const iracing::DamagedFrameError& error) {
      // The walk goes on with the frame after it.
      if (recording.unreadable_frames++ == 0) recording.first_unreadable = error.what();
      continue;
    }
    if (frame == nullptr) break;
    ++recording.frame_count;
    if (progress != nullptr && frame->number % 256 == 0) {
      progress->update("Reading frame " + std::to_string(frame->number + 1) + " of " + std::to_string(frames.size()));
    }
    if (walk.variables_changed()) variables = VariableSet(walk.variables());
    const iracing::Snapshot& snapshot = frame->snapshot;
    const std::span<const std::uint8_t> row(snapshot.row);
    TelemetrySample sample{};
    sample.session_time = value_in(row, variables.session_time);
    sample.lap = value_in(row, variables.lap);
    sample.lap_fraction = value_in(row, variables.lap_fraction);
    sample.lap_distance = value_in(row, variables.lap_distance);
    sample.last_lap_time = value_in(row, variables.last_lap_time);
    sample.session_number = value_in(row, variables.session_number);
    sample.map_x = sample.map_y = missing_sample;
    const double latitude = value_in(row, variables.latitude);
    const double longitude = value_in(row, variables.longitude);
    // A car not on the track reports 0, 0; no track lies there.
    if (std::abs(latitude) <= 90.0 && std::abs(longitude) <= 180.0 && (latitude != 0.0 || longitude != 0.0)) {
      if (!projection) projection = MapProjection{latitude, longitude};
      const auto [x, y] = projection->metres(latitude, longitude);
      sample.map_x = x;
      sample.map_y = y;
      recording.has_position = true;
    }
    for (std::size_t c = 0; c < report_channel_count; ++c) {
      sample.channels[c] = value_in(row, variables.channels[c]);
      note_present(recording.has_channel[c], sample.channels[c]);
    }
    note_present(recording.has_session_time, sample.session_time);
    note_present(recording.has_lap, sample.lap);
    note_present(recording.has_lap_fraction, sample.lap_fraction);
    note_present(recording.has_lap_distance, sample.lap_distance);
    note_present(recording.has_last_lap_time, sample.last_lap_time);
    recording.samples.push_back(sample);
  }
  recording.session_text = walk.session_text();
}

}  // namespace

}  // namespace vove
