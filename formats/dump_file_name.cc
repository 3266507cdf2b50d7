#include "formats/dump_file_name.h"

#include <charconv>
#include <iomanip>
#include <sstream>

namespace vove {

namespace {

constexpr std::string_view prefix = "vove_dump_";
constexpr std::string_view extension = ".bin";
constexpr std::string_view stamp_form = "YYYY-MM-DD-HH-MM-SS";

// The digits of `text` from `position`, exactly `width` of them.
std::optional<int> digits_at(std::string_view text, std::size_t position, std::size_t width) {
  int value = 0;
  const char* begin = text.data() + position;
  const auto [end, error] = std::from_chars(begin, begin + width, value);
  if (error != std::errc{} || end != begin + width) return std::nullopt;
  return value;
}

bool is_attempt_suffix(std::string_view rest) {
  if (rest.empty()) return true;
  if (rest.size() < 2 || rest.front() != '_') return false;
  for (char c : rest.substr(1)) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

std::string utc_time_stamp(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  // The system clock counts UTC, so calendar arithmetic on it needs no time
  // zone and no platform call.
  const auto seconds_since_epoch = floor<seconds>(time);
  const auto day = floor<days>(seconds_since_epoch);
  const year_month_day date{day};
  const hh_mm_ss clock_time{seconds_since_epoch - day};

  std::ostringstream text;
  text << std::setfill('0') << std::setw(4) << static_cast<int>(date.year()) << '-' << std::setw(2)
       << static_cast<unsigned>(date.month()) << '-' << std::setw(2) << static_cast<unsigned>(date.day()) << '-'
       << std::setw(2) << clock_time.hours().count() << '-' << std::setw(2) << clock_time.minutes().count() << '-'
       << std::setw(2) << clock_time.seconds().count();
  return text.str();
}

std::string dump_file_name(std::string_view time_stamp, int attempt) {
  std::string name{prefix};
  name += time_stamp;
  if (attempt > 0) {
    name += '_';
    name += std::to_string(attempt);
  }
  name += extension;
  return name;
}

std::optional<std::chrono::sys_seconds> recording_start_from_file_name(std::string_view file_name) {
  using namespace std::chrono;
  if (!file_name.starts_with(prefix) || !file_name.ends_with(extension)) return std::nullopt;
  const std::string_view stem = file_name.substr(prefix.size(), file_name.size() - prefix.size() - extension.size());
  if (stem.size() < stamp_form.size() || !is_attempt_suffix(stem.substr(stamp_form.size()))) return std::nullopt;
  for (std::size_t i : {4u, 7u, 10u, 13u, 16u}) {
    if (stem[i] != '-') return std::nullopt;
  }
  const auto year_value = digits_at(stem, 0, 4);
  const auto month_value = digits_at(stem, 5, 2);
  const auto day_value = digits_at(stem, 8, 2);
  const auto hour = digits_at(stem, 11, 2);
  const auto minute = digits_at(stem, 14, 2);
  const auto second = digits_at(stem, 17, 2);
  if (!year_value || !month_value || !day_value || !hour || !minute || !second) return std::nullopt;
  const year_month_day date{year{*year_value}, month{static_cast<unsigned>(*month_value)},
                            day{static_cast<unsigned>(*day_value)}};
  if (!date.ok() || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  return sys_days{date} + hours{*hour} + minutes{*minute} + seconds{*second};
}

}  // namespace vove
