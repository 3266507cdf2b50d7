#include "dumptool/report_content.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vove {

namespace {

std::string list_of_laps(const LapTable& table) {
  std::string list;
  for (const LapRecord& lap : table.laps) {
    if (!lap.complete) continue;
    if (!list.empty()) list += ", ";
    list += std::to_string(lap.number);
  }
  return list.empty() ? "none" : list;
}

std::vector<const LapRecord*> laps_to_chart(const LapTable& table, const std::optional<std::vector<int>>& chosen) {
  std::vector<const LapRecord*> laps;
  if (chosen) {
    for (const int number : *chosen) {
      const LapRecord* lap = table.find(number);
      if (lap == nullptr || !lap->complete) {
        throw std::invalid_argument("lap " + std::to_string(number) + " is not a complete lap of the recording" +
                                    " (complete laps: " + list_of_laps(table) + ")");
      }
      if (std::find(laps.begin(), laps.end(), lap) == laps.end()) laps.push_back(lap);
    }
    return laps;
  }
  if (table.best < table.laps.size()) laps.push_back(&table.laps[table.best]);
  if (table.last_complete < table.laps.size() && table.last_complete != table.best) {
    laps.push_back(&table.laps[table.last_complete]);
  }
  return laps;
}

std::optional<int> running_session(const ReportRecording& recording) {
  for (auto s = recording.samples.rbegin(); s != recording.samples.rend(); ++s) {
    if (std::abs(s->session_number) < 1.0e6) return static_cast<int>(s->session_number);
  }
  return std::nullopt;
}

}  // namespace

ReportContent build_report_content(const ReportRecording& recording, std::string title,
                                   const std::optional<std::vector<int>>& chosen_laps) {
  ReportContent content;
  content.title = std::move(title);
  content.rate = recording.rate;
  content.frames = recording.frame_count;
  content.recorded_seconds = recording.rate > 0 ? static_cast<double>(recording.frame_count) / recording.rate : 0.0;
  content.session =
      recording.summary ? *recording.summary : summarise_session(recording.session_text, running_session(recording));
  auto& notes = content.notes;

  if (recording.damage) notes.push_back("The recording is damaged: " + *recording.damage + ".");
  if (recording.unreadable_frames > 0) {
    notes.push_back(std::to_string(recording.unreadable_frames) + " frames could not be read and were left out (" +
                    recording.first_unreadable + ").");
  }
  if (recording.summary) {
    // The pages name the session; there is no session text to read.
  } else if (!content.session.has_text) {
    notes.push_back("The recording carries no session text: track, car, driver and session are not known.");
  } else if (content.session.unreadable_lines > 0) {
    std::string note = "The session text is not well-formed; " + std::to_string(content.session.unreadable_lines) +
                       " lines could not be read and the summary shows what could (";
    for (std::size_t i = 0; i < content.session.problems.size(); ++i) {
      note += (i > 0 ? "; " : "") + content.session.problems[i];
    }
    notes.push_back(note + ").");
  }

  const std::vector<TelemetrySample>& samples = recording.samples;
  if (!recording.has_lap || !recording.has_session_time) {
    notes.push_back(std::string("No lap table and no charts: the recording has no ") +
                    std::string(!recording.has_lap ? recording.sources.lap : recording.sources.session_time) + " " +
                    std::string(recording.sources.kind) + " to find laps by.");
    return content;
  }
  content.laps = find_laps(samples);
  if (content.laps.best == content.laps.laps.size()) {
    notes.push_back("No charts: the recording holds no complete lap.");
    return content;
  }
  if (!recording.has_lap_fraction) {
    notes.push_back("No charts: the recording has no " + std::string(recording.sources.lap_fraction) + " " +
                    std::string(recording.sources.kind) + " to place its rows along the lap.");
    return content;
  }

  content.axis = choose_distance_axis(samples, content.session.track_length_metres);
  if (!content.axis.in_metres) {
    notes.push_back("The track's length is not known (" + std::string(recording.sources.no_track_length) +
                    "): the charts run over per cent of the lap.");
  }
  content.charted = recording.has_channel;
  for (std::size_t c = 0; c < report_channel_count; ++c) {
    if (recording.has_channel[c]) continue;
    const ReportChannelInfo& info = report_channel_info(static_cast<ReportChannel>(c));
    notes.push_back("No chart of " + std::string(info.title) + ": the recording has no " +
                    std::string(recording.sources.channels[c]) + " " + std::string(recording.sources.kind) + ".");
  }
  const std::vector<const LapRecord*> laps = laps_to_chart(content.laps, chosen_laps);
  const LapRecord* best = &content.laps.laps[content.laps.best];
  for (const LapRecord* lap : laps) {
    if (lap == best) content.reference = content.traces.size();
    content.traces.push_back(trace_lap(samples, *lap, content.axis, content.charted, recording.has_position));
  }
  if (!content.reference) {
    // The delta is always against the best lap, charted or not.
    content.reference = content.traces.size();
    content.traces.push_back(trace_lap(samples, *best, content.axis, content.charted, recording.has_position));
  }
  if (!recording.has_position) {
    notes.push_back("No track map: the recording holds no positions of the car (" +
                    std::string(recording.sources.no_position) + ").");
  }
  if (content.traces.size() == 1) {
    notes.push_back("No time-delta chart: only one lap is charted, the best; choose others with --laps.");
  }
  return content;
}

}  // namespace vove
