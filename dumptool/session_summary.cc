#include "dumptool/session_summary.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "formats/iracing_session_text.h"

namespace vove {

namespace {

std::string_view trim(std::string_view text) noexcept {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

// A value as a reader wants to see it: without the spaces around it and the
// quotes the simulator puts around some values ("17"). Empty: not there.
std::string shown_value(std::string_view text, std::string_view path) {
  const auto value = iracing::query_session_text(text, path);
  if (!value) return {};
  std::string_view shown = trim(*value);
  if (shown.size() >= 2 && shown.front() == '"' && shown.back() == '"') shown = shown.substr(1, shown.size() - 2);
  return std::string(shown);
}

// An index as clients put it into a path's {N}: the value read as a number.
std::optional<int> index_value(std::string_view text, std::string_view path) {
  const std::string value = shown_value(text, path);
  int index = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), index);
  if (value.empty() || error != std::errc{} || end != value.data() + value.size()) return std::nullopt;
  return index;
}

// "5.51 km", "2.9 mi", "4650 m" in metres; 0 when unreadable.
double length_in_metres(const std::string& text) {
  char* end = nullptr;
  const double number = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(number) || number <= 0.0) return 0.0;
  const std::string_view unit = trim(std::string_view(end));
  if (unit == "km") return number * 1000.0;
  if (unit == "mi") return number * 1609.344;
  if (unit == "m") return number;
  return 0.0;
}

}  // namespace

SessionSummary summarise_session(std::string_view text, std::optional<int> session_number) {
  SessionSummary summary;
  text = iracing::session_text_in(text);
  summary.has_text = !text.empty();
  if (!summary.has_text) return summary;
  iracing::SessionTextProblems problems = iracing::check_session_text(text);
  summary.problems = std::move(problems.first);
  summary.unreadable_lines = problems.lines;

  summary.track = shown_value(text, "WeekendInfo:TrackDisplayName:");
  if (summary.track.empty()) summary.track = shown_value(text, "WeekendInfo:TrackName:");
  if (!summary.track.empty()) {
    const std::string layout = shown_value(text, "WeekendInfo:TrackConfigName:");
    if (!layout.empty()) summary.track += " (" + layout + ")";
  }
  summary.track_length_metres = length_in_metres(shown_value(text, "WeekendInfo:TrackLength:"));

  // The player's entry is the one whose CarIdx is DriverCarIdx, wherever it
  // stands in the list.
  if (const auto car_index = index_value(text, "DriverInfo:DriverCarIdx:")) {
    const std::string item = "DriverInfo:Drivers:CarIdx:{" + std::to_string(*car_index) + "}";
    summary.driver = shown_value(text, item + "UserName:");
    summary.car = shown_value(text, item + "CarScreenName:");
  }
  if (!session_number) session_number = index_value(text, "SessionInfo:CurrentSessionNum:");
  if (session_number) {
    summary.session_type =
        shown_value(text, "SessionInfo:Sessions:SessionNum:{" + std::to_string(*session_number) + "}SessionType:");
  }
  return summary;
}

}  // namespace vove
