#include "dumptool/acc_report_samples.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <vector>

#include "common/console_texts.h"
#include "formats/acc_fields.h"

namespace vove {

namespace {

using acc::Page;

constexpr ReportSources acc_sources{
    "field",
    "",  // the frames' own times: always there
    "graphics.completedLaps",
    "graphics.normalizedCarPosition",
    {"physics.speedKmh", "physics.gas", "physics.brake", "physics.gear", "physics.rpms"},
    "graphics.distanceTraveled never rises over a lap of normalizedCarPosition",
    "graphics.carCoordinates holds no car whose carID is playerCarID"};

// The fields read, looked up once.
struct AccFieldSet {
  const acc::Field& completed_laps = field(Page::graphics, "completedLaps");
  const acc::Field& position = field(Page::graphics, "normalizedCarPosition");
  const acc::Field& last_time = field(Page::graphics, "iLastTime");
  const acc::Field& distance = field(Page::graphics, "distanceTraveled");
  const acc::Field& status = field(Page::graphics, "status");
  const acc::Field& session = field(Page::graphics, "session");
  const acc::Field& active_cars = field(Page::graphics, "activeCars");
  const acc::Field& coordinates = field(Page::graphics, "carCoordinates");
  const acc::Field& car_ids = field(Page::graphics, "carID");
  const acc::Field& player_id = field(Page::graphics, "playerCarID");
  const acc::Field& speed = field(Page::physics, "speedKmh");
  const acc::Field& gas = field(Page::physics, "gas");
  const acc::Field& brake = field(Page::physics, "brake");
  const acc::Field& gear = field(Page::physics, "gear");
  const acc::Field& rpm = field(Page::physics, "rpms");

  static const acc::Field& field(Page page, std::string_view name) {
    const acc::Field* found = acc::find_field(page, name);
    if (found == nullptr) throw std::logic_error("the ACC field table lacks " + std::string(name));
    return *found;
  }
};

double finite(double value) noexcept { return std::isfinite(value) ? value : missing_sample; }

double number(const acc::Field& field, const acc::PageBytes& pages, std::size_t index = 0) noexcept {
  return finite(acc::read_number(field, pages.of(field.page), index));
}

// A lap time in milliseconds as seconds; none for 0 or less (no lap yet)
// and for the largest int32, which no lap takes.
double lap_seconds_of(double milliseconds) noexcept {
  if (!(milliseconds > 0.0) || milliseconds >= std::numeric_limits<std::int32_t>::max()) return missing_sample;
  return milliseconds / 1000.0;
}

// The slot of carCoordinates that holds the player's car: where carID is
// playerCarID, among the active cars.
std::optional<std::size_t> player_slot(const AccFieldSet& f, const acc::PageBytes& pages) {
  const auto player = acc::read_int(f.player_id, pages.graphics);
  if (!player) return std::nullopt;
  std::size_t cars = f.car_ids.count;
  if (const auto active = acc::read_int(f.active_cars, pages.graphics); active && *active >= 0) {
    cars = std::min(cars, static_cast<std::size_t>(*active));
  }
  for (std::size_t i = 0; i < cars; ++i) {
    if (acc::read_int(f.car_ids, pages.graphics, i) == player) return i;
  }
  return std::nullopt;
}

// Laps driven (completed laps plus the position along the lap) and the
// distance the car travelled, for the track's length.
struct Progress {
  double laps;
  double distance;
};

// The track's length: distance travelled per lap driven, over stretches of
// at least half a lap in which both rise; the median of them.
double track_length(const std::vector<Progress>& progress) {
  std::vector<double> lengths;
  std::optional<Progress> anchor;
  for (const Progress& p : progress) {
    if (std::isnan(p.laps) || std::isnan(p.distance)) continue;
    if (!anchor || p.laps < anchor->laps || p.distance < anchor->distance) {
      anchor = p;  // a new stint, a new session, or the start
      continue;
    }
    if (p.laps - anchor->laps >= 0.5) lengths.push_back((p.distance - anchor->distance) / (p.laps - anchor->laps));
  }
  if (lengths.empty()) return 0.0;
  auto middle = lengths.begin() + static_cast<std::ptrdiff_t>(lengths.size() / 2);
  std::nth_element(lengths.begin(), middle, lengths.end());
  return *middle;
}

std::string title_of(acc::EnumValue value, std::int32_t number) {
  return value.title.empty() ? std::to_string(number) : std::string(value.title);
}

}  // namespace

void read_acc_samples(DumpFrames& frames, ReportRecording& recording, ProgressLine* progress) {
  recording.sources = acc_sources;
  const AccFieldSet f;
  SessionSummary summary;
  summary.has_text = true;
  std::vector<Progress> progress_along;
  progress_along.reserve(frames.size());
  FramePayload payload;
  for (std::size_t frame = 0; frame < frames.size(); ++frame) {
    if (!frames.read_if_intact(frame, payload)) {
      if (recording.unreadable_frames++ == 0) {
        recording.first_unreadable =
            "frame " + std::to_string(frame) + ": " + std::string(console_text::decompress_failed);
      }
      continue;
    }
    ++recording.frame_count;
    if (progress != nullptr && frame % 256 == 0) {
      progress->update("Reading frame " + std::to_string(frame + 1) + " of " + std::to_string(frames.size()));
    }
    const acc::PageBytes pages = acc::pages_of_payload(payload);
    // The static page names the session; the first frame that names a track.
    if (summary.track.empty()) {
      summary.track = acc::text_field(pages, Page::static_page, "track");
      summary.car = acc::text_field(pages, Page::static_page, "carModel");
      summary.driver = acc::player_name(pages);
    }
    // The session type of the last frame the simulator was live in.
    const auto status = acc::read_int(f.status, pages.graphics);
    if (const auto session = acc::read_int(f.session, pages.graphics);
        session && (status == acc::status_live || summary.session_type.empty())) {
      summary.session_type = title_of(acc::session_type_value(*session), *session);
    }

    TelemetrySample sample{};
    sample.session_time = frames.seconds_of(frame);
    const double completed = number(f.completed_laps, pages);
    sample.lap = completed + 1.0;  // the lap being driven, as iRacing counts it
    sample.lap_fraction = number(f.position, pages);
    sample.lap_distance = missing_sample;
    sample.last_lap_time = lap_seconds_of(number(f.last_time, pages));
    sample.session_number = missing_sample;
    sample.channels[static_cast<std::size_t>(ReportChannel::speed)] = number(f.speed, pages) / 3.6;
    sample.channels[static_cast<std::size_t>(ReportChannel::throttle)] = number(f.gas, pages);
    sample.channels[static_cast<std::size_t>(ReportChannel::brake)] = number(f.brake, pages);
    // The simulator counts 0 reverse, 1 neutral, 2 first.
    sample.channels[static_cast<std::size_t>(ReportChannel::gear)] = number(f.gear, pages) - 1.0;
    sample.channels[static_cast<std::size_t>(ReportChannel::engine_speed)] = number(f.rpm, pages);
    // The world's y is up: seen from above, x and z make the map.
    sample.map_x = sample.map_y = missing_sample;
    if (const auto slot = player_slot(f, pages)) {
      sample.map_x = number(f.coordinates, pages, 3 * *slot);
      sample.map_y = number(f.coordinates, pages, 3 * *slot + 2);
    }
    for (std::size_t c = 0; c < report_channel_count; ++c) note_present(recording.has_channel[c], sample.channels[c]);
    note_present(recording.has_position, sample.map_x + sample.map_y);
    note_present(recording.has_session_time, sample.session_time);
    note_present(recording.has_lap, sample.lap);
    note_present(recording.has_lap_fraction, sample.lap_fraction);
    note_present(recording.has_last_lap_time, sample.last_lap_time);
    progress_along.push_back({completed + sample.lap_fraction, number(f.distance, pages)});
    recording.samples.push_back(sample);
  }
  summary.track_length_metres = track_length(progress_along);
  recording.summary = std::move(summary);
}

}  // namespace vove
