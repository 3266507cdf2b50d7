// What a lap report shows, worked out from a recording: the summary, the
// lap table, the charted laps on a common distance axis, and notes on what
// is left out and why. The page is written from this (report_page.h).
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "dumptool/lap_table.h"
#include "dumptool/lap_traces.h"
#include "dumptool/report_samples.h"
#include "dumptool/session_summary.h"

namespace vove {

struct ReportContent {
  std::string title;  // the recording's file name
  SessionSummary session;
  std::uint32_t rate = 0;
  std::size_t frames = 0;
  double recorded_seconds = 0.0;
  LapTable laps;
  DistanceAxis axis;
  std::vector<LapTrace> traces;                      // the charted laps, in the order chosen
  std::optional<std::size_t> reference;              // the trace of the best lap, when charted with others
  std::array<bool, report_channel_count> charted{};  // channels with a chart
  std::vector<std::string> notes;                    // what the page leaves out or could not read, and why
};

// Works out the report of `recording`. `chosen_laps` are the lap numbers to
// chart; none: the best and the last complete lap. Throws
// std::invalid_argument when a chosen lap is not a complete lap of the
// recording (the message lists the complete ones).
ReportContent build_report_content(const ReportRecording& recording, std::string title,
                                   const std::optional<std::vector<int>>& chosen_laps);

}  // namespace vove
