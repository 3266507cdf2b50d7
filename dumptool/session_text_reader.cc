#include "dumptool/session_text_reader.h"

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

constexpr std::size_t max_problems_kept = 5;

std::string_view trim(std::string_view text) noexcept {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

// A value in quotes loses them; a quote left open is read as it stands.
std::string unquote(std::string_view value, bool& open_quote) {
  open_quote = false;
  if (!value.empty() && (value.front() == '"' || value.front() == '\'')) {
    if (value.size() >= 2 && value.back() == value.front()) return std::string(value.substr(1, value.size() - 2));
    open_quote = true;
  }
  return std::string(value);
}

// "4.65 km", "2.9 mi", "4650 m" in metres; 0 when unreadable.
double length_in_metres(std::string_view text) {
  const std::string copy(text);
  char* end = nullptr;
  const double number = std::strtod(copy.c_str(), &end);
  if (end == copy.c_str() || !std::isfinite(number) || number <= 0.0) return 0.0;
  const std::string_view unit = trim(std::string_view(end));
  if (unit == "km") return number * 1000.0;
  if (unit == "mi") return number * 1609.344;
  if (unit == "m") return number;
  return 0.0;
}

}  // namespace

const std::string* SessionText::first(std::string_view key) const noexcept {
  for (const SessionTextEntry& entry : entries) {
    if (entry.key == key && !entry.value.empty()) return &entry.value;
  }
  return nullptr;
}

const std::string* SessionText::in_item(std::string_view match_key, std::string_view match_value,
                                        std::string_view key) const noexcept {
  for (const SessionTextEntry& match : entries) {
    if (match.item == 0 || match.key != match_key || match.value != match_value) continue;
    for (const SessionTextEntry& entry : entries) {
      if (entry.item == match.item && entry.key == key && !entry.value.empty()) return &entry.value;
    }
  }
  return nullptr;
}

SessionText read_session_text(std::string_view text) {
  SessionText result;
  struct OpenItem {
    std::size_t indent;  // column of its dash
    std::size_t id;
  };
  std::vector<OpenItem> open_items;
  std::size_t next_item = 1;
  std::size_t line_number = 0;

  const auto problem = [&](const std::string& why) {
    ++result.unreadable_lines;
    if (result.problems.size() < max_problems_kept) {
      result.problems.push_back("line " + std::to_string(line_number) + ": " + why);
    }
  };

  std::size_t position = 0;
  while (position < text.size()) {
    const std::size_t end = std::min(text.find('\n', position), text.size());
    std::string_view line = text.substr(position, end - position);
    position = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);

    const std::size_t indent = line.find_first_not_of(' ');
    if (indent == std::string_view::npos) continue;  // blank
    std::string_view content = line.substr(indent);
    if (content == "---" || content == "..." || content.front() == '#') continue;
    if (content.front() == '\t') {
      problem("indented with a tab");
      continue;
    }
    while (!open_items.empty() && open_items.back().indent >= indent) open_items.pop_back();
    if (content.front() == '-' && (content.size() == 1 || content[1] == ' ')) {
      open_items.push_back({indent, next_item++});
      content = trim(content.substr(1));
      if (content.empty()) continue;
    }
    const std::size_t colon = content.find(": ");
    const bool ends_with_colon = content.back() == ':';
    if (colon == std::string_view::npos && !ends_with_colon) {
      problem("no 'key: value' in '" + std::string(content.substr(0, 40)) + "'");
      continue;
    }
    const std::size_t split = colon == std::string_view::npos ? content.size() - 1 : colon;
    SessionTextEntry entry;
    entry.key = std::string(trim(content.substr(0, split)));
    bool open_quote = false;
    entry.value = split + 1 < content.size() ? unquote(trim(content.substr(split + 1)), open_quote) : std::string();
    entry.item = open_items.empty() ? 0 : open_items.back().id;
    if (entry.key.empty()) {
      problem("a value without a key");
      continue;
    }
    if (open_quote) problem("a quote that is not closed");
    result.entries.push_back(std::move(entry));
  }
  return result;
}

SessionSummary summarise_session(std::string_view text, std::optional<int> session_number) {
  SessionSummary summary;
  summary.has_text = !text.empty();
  if (!summary.has_text) return summary;
  const SessionText session = read_session_text(text);
  summary.problems = session.problems;
  summary.unreadable_lines = session.unreadable_lines;

  const std::string* track = session.first("TrackDisplayName");
  if (track == nullptr) track = session.first("TrackName");
  if (track != nullptr) {
    summary.track = *track;
    if (const std::string* layout = session.first("TrackConfigName")) summary.track += " (" + *layout + ")";
  }
  if (const std::string* length = session.first("TrackLength")) summary.track_length_metres = length_in_metres(*length);

  if (const std::string* car_index = session.first("DriverCarIdx")) {
    if (const std::string* name = session.in_item("CarIdx", *car_index, "UserName")) summary.driver = *name;
    if (const std::string* car = session.in_item("CarIdx", *car_index, "CarScreenName")) summary.car = *car;
  }
  const std::string* type = nullptr;
  if (session_number) type = session.in_item("SessionNum", std::to_string(*session_number), "SessionType");
  if (type == nullptr) type = session.first("EventType");
  if (type != nullptr) summary.session_type = *type;
  return summary;
}
